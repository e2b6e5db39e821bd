// Reads a LAS file with loaders.gl's LAS loader and prints what it found as JSON on stdout:
// the header values it parses, the point count, every position (scale and offset applied)
// and every intensity.
//     node read-las.mjs FILE
import {readFileSync} from 'node:fs';
import {parse} from '@loaders.gl/core';
import {LASLoader} from '@loaders.gl/las';

const bytes = readFileSync(process.argv[2]);
const buffer = bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.byteLength);
const mesh = await parse(buffer, LASLoader, {worker: false, las: {fp64: true}});
const header = mesh.loaderData;
const count = mesh.header.vertexCount;
process.stdout.write(JSON.stringify({
  pointsFormatId: header.pointsFormatId,
  pointsStructSize: header.pointsStructSize,
  pointsCount: header.pointsCount,
  vertexCount: count,
  scale: Array.from(header.scale),
  offset: Array.from(header.offset),
  mins: Array.from(header.mins),
  maxs: Array.from(header.maxs),
  positions: count ? Array.from(mesh.attributes.POSITION.value.subarray(0, count * 3)) : [],
  intensities: count ? Array.from(mesh.attributes.intensity.value.subarray(0, count)) : [],
}));

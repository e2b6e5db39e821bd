// Reads an MCAP file with the MCAP project's indexed reader (summary, chunk indexes, message
// indexes; chunk and summary CRCs checked as it reads), decodes every PointCloud2 with
// Foxglove's ROS 2 CDR reader from the schema stored in the file, checks the data section's
// CRC, and prints what it found as JSON on stdout.
//     node read-mcap.mjs FILE
import {open, readFile} from 'node:fs/promises';
import {crc32} from '@foxglove/crc';
import {parse as parseDefinition} from '@foxglove/rosmsg';
import {MessageReader} from '@foxglove/rosmsg2-serialization';
import {McapIndexedReader, McapStreamReader} from '@mcap/core';
import {FileHandleReadable} from '@mcap/nodejs';
import {loadDecompressHandlers} from '@mcap/support';
import {cloudPoints} from './pointcloud2.mjs';

const path = process.argv[2];
const decompressHandlers = await loadDecompressHandlers();
const handle = await open(path, 'r');
const reader = await McapIndexedReader.Initialize({readable: new FileHandleReadable(handle), decompressHandlers});

// The data section's CRC covers every byte before the data end record.
const bytes = await readFile(path);
const stream = new McapStreamReader({decompressHandlers, validateCrcs: true});
stream.append(bytes);
const streamCounts = {};
for (let record; (record = stream.nextRecord());) {
  if (record.type === 'Message') {
    streamCounts[record.channelId] = (streamCounts[record.channelId] ?? 0) + 1;
  }
}
if (!stream.done()) {
  throw new Error('the stream reader did not reach the closing magic');
}
// The data end record (opcode, length 4, CRC) lies right before the summary.
const dataEnd = Number(reader.footer.summaryStart) - 13;
if (bytes[dataEnd] !== 0x0f) {
  throw new Error('no data end record before the summary');
}
const dataCrcMatches = reader.dataSectionCrc === undefined ? null : crc32(bytes.subarray(0, dataEnd)) === reader.dataSectionCrc;

const decoders = new Map();
for (const [id, channel] of reader.channelsById) {
  const schema = reader.schemasById.get(channel.schemaId);
  if (schema.encoding === 'ros2msg') {
    decoders.set(id, new MessageReader(parseDefinition(new TextDecoder().decode(schema.data), {ros2: true})));
  }
}
const frames = [];
const deviceInfos = [];
for await (const message of reader.readMessages()) {
  const channel = reader.channelsById.get(message.channelId);
  if (channel.topic === '/hvk32/points') {
    const cloud = decoders.get(message.channelId).readMessage(message.data);
    const points = cloudPoints(cloud);
    frames.push({
      logTime: message.logTime.toString(), publishTime: message.publishTime.toString(),
      stamp: [cloud.header.stamp.sec, cloud.header.stamp.nanosec], frameId: cloud.header.frame_id,
      height: cloud.height, width: cloud.width, pointStep: cloud.point_step, rowStep: cloud.row_step,
      isDense: cloud.is_dense, isBigendian: cloud.is_bigendian,
      fields: cloud.fields.map((f) => [f.name, f.offset, f.datatype, f.count]), points,
    });
  } else {
    deviceInfos.push({logTime: message.logTime.toString(), value: JSON.parse(new TextDecoder().decode(message.data))});
  }
}
await handle.close();
const stats = reader.statistics;
process.stdout.write(JSON.stringify({
  profile: reader.header.profile,
  library: reader.header.library,
  channels: [...reader.channelsById.values()].map((c) => {
    const s = reader.schemasById.get(c.schemaId);
    return {topic: c.topic, messageEncoding: c.messageEncoding, schema: s.name, schemaEncoding: s.encoding,
      schemaText: new TextDecoder().decode(s.data)};
  }),
  statistics: {messageCount: Number(stats.messageCount), chunkCount: stats.chunkCount,
    channelMessageCounts: Object.fromEntries([...stats.channelMessageCounts].map(([k, v]) => [reader.channelsById.get(k).topic, Number(v)]))},
  chunkCompressions: [...new Set(reader.chunkIndexes.map((c) => c.compression))],
  chunkCount: reader.chunkIndexes.length,
  streamCounts,
  dataCrcMatches,
  frames,
  deviceInfos,
}));

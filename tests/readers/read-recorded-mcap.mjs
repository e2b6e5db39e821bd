// Reads an MCAP recording of "hvk32-cli record" and prints what it found as JSON on stdout.
//     node read-recorded-mcap.mjs FILE            the MCAP project's indexed reader (summary,
//                                                  chunk and message indexes, CRCs checked)
//     node read-recorded-mcap.mjs --stream FILE   its streaming reader, from the start as far as
//                                                  whole records go (a recording cut short)
// Every PointCloud2 is decoded with Foxglove's ROS 2 CDR reader from the schema in the file.
import {open, readFile} from 'node:fs/promises';
import {parse as parseDefinition} from '@foxglove/rosmsg';
import {MessageReader} from '@foxglove/rosmsg2-serialization';
import {McapIndexedReader, McapStreamReader} from '@mcap/core';
import {FileHandleReadable} from '@mcap/nodejs';
import {loadDecompressHandlers} from '@mcap/support';
import {cloudPoints} from './pointcloud2.mjs';

const streaming = process.argv[2] === '--stream';
const path = process.argv[streaming ? 3 : 2];
const decompressHandlers = await loadDecompressHandlers();

const schemas = new Map();
const channels = new Map();
const messages = [];
let summary = null;
let reachedEnd = false;
let chunks = 0;
if (streaming) {
  const stream = new McapStreamReader({decompressHandlers, validateCrcs: true});
  stream.append(await readFile(path));
  for (let record; (record = stream.nextRecord());) {
    if (record.type === 'Schema') schemas.set(record.id, record);
    else if (record.type === 'Channel') channels.set(record.id, record);
    else if (record.type === 'Message') messages.push(record);
    else if (record.type === 'Chunk') ++chunks;
  }
  reachedEnd = stream.done();
} else {
  const handle = await open(path, 'r');
  const reader = await McapIndexedReader.Initialize({readable: new FileHandleReadable(handle), decompressHandlers});
  for (const [id, s] of reader.schemasById) schemas.set(id, s);
  for (const [id, c] of reader.channelsById) channels.set(id, c);
  for await (const message of reader.readMessages()) messages.push(message);
  await handle.close();
  const stats = reader.statistics;
  summary = {
    messageCount: Number(stats.messageCount), chunkCount: stats.chunkCount,
    channelMessageCounts: Object.fromEntries([...stats.channelMessageCounts].map(([k, v]) => [channels.get(k).topic, Number(v)])),
    chunkIndexes: reader.chunkIndexes.length, compressions: [...new Set(reader.chunkIndexes.map((c) => c.compression))],
    profile: reader.header.profile,
  };
  chunks = reader.chunkIndexes.length;
  reachedEnd = true;
}

const decoders = new Map();
for (const [id, channel] of channels) {
  const schema = schemas.get(channel.schemaId);
  if (schema && schema.encoding === 'ros2msg') {
    decoders.set(id, new MessageReader(parseDefinition(new TextDecoder().decode(schema.data), {ros2: true})));
  }
}
const frames = [];
const deviceInfos = [];
const health = [];
for (const message of messages) {
  const topic = channels.get(message.channelId).topic;
  if (topic === '/hvk32/points') {
    const cloud = decoders.get(message.channelId).readMessage(message.data);
    const points = cloudPoints(cloud);
    frames.push({
      logTime: message.logTime.toString(), publishTime: message.publishTime.toString(),
      stamp: [cloud.header.stamp.sec, cloud.header.stamp.nanosec], frameId: cloud.header.frame_id,
      width: cloud.width, height: cloud.height, pointStep: cloud.point_step,
      fields: cloud.fields.map((f) => [f.name, f.offset, f.datatype, f.count]), points,
    });
  } else {
    const entry = {logTime: message.logTime.toString(), value: JSON.parse(new TextDecoder().decode(message.data))};
    (topic === '/hvk32/health' ? health : deviceInfos).push(entry);
  }
}
process.stdout.write(JSON.stringify({
  reachedEnd, chunks, summary,
  channels: [...channels.values()].map((c) => {
    const s = schemas.get(c.schemaId);
    return {topic: c.topic, messageEncoding: c.messageEncoding, schema: s.name, schemaEncoding: s.encoding,
      schemaText: new TextDecoder().decode(s.data)};
  }),
  frames, deviceInfos, health,
}));

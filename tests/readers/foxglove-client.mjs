// Watches a Foxglove WebSocket server with Foxglove's own client (@foxglove/ws-protocol over
// the ws package): checks the server's info and channels, subscribes to every channel, decodes
// each PointCloud2 with Foxglove's ROS 2 CDR reader from the advertised schema, and prints what
// it received as JSON on stdout once it has seen `frames` distinct frames (by stamp).
//     node foxglove-client.mjs URL FRAMES [SECONDS]
import {parse as parseDefinition} from '@foxglove/rosmsg';
import {MessageReader} from '@foxglove/rosmsg2-serialization';
import wsProtocol from '@foxglove/ws-protocol';
import {WebSocket} from 'ws';
import {cloudPoints} from './pointcloud2.mjs';

const {FoxgloveClient} = wsProtocol;

const [url, wanted, seconds] = [process.argv[2], Number(process.argv[3]), Number(process.argv[4] ?? 60)];
const client = new FoxgloveClient({ws: new WebSocket(url, [FoxgloveClient.SUPPORTED_SUBPROTOCOL])});
const result = {serverInfo: null, channels: [], frames: [], deviceInfos: [], health: [], status: []};
const decoders = new Map();
const topics = new Map(); // subscription id -> topic
const stamps = new Set();
const timer = setTimeout(() => finish(`timed out with ${stamps.size} of ${wanted} frames`), seconds * 1000);

let finished = false;
function finish(error) {
  if (finished) {
    return;
  }
  finished = true;
  clearTimeout(timer);
  if (error) {
    process.stderr.write(`${error}\n`);
    process.exitCode = 1;
  }
  process.stdout.write(JSON.stringify(result));
  client.close();
}

client.on('serverInfo', (info) => { result.serverInfo = info; });
client.on('status', (status) => { result.status.push(status); });
client.on('close', (event) => {
  if (stamps.size < wanted) {
    finish(`the server closed the connection (${event.code} ${event.reason})`);
  }
});
client.on('error', (error) => finish(`connection error: ${error.message ?? error}`));
client.on('advertise', (channels) => {
  for (const channel of channels) {
    result.channels.push(channel);
    if (channel.schemaEncoding === 'ros2msg') {
      decoders.set(channel.topic, new MessageReader(parseDefinition(channel.schema, {ros2: true})));
    }
    topics.set(client.subscribe(channel.id), channel.topic);
  }
});
client.on('message', ({subscriptionId, timestamp, data}) => {
  if (finished) {
    return;
  }
  const topic = topics.get(subscriptionId);
  if (topic === '/hvk32/points') {
    const cloud = decoders.get(topic).readMessage(data);
    const points = cloudPoints(cloud);
    const stamp = [cloud.header.stamp.sec, cloud.header.stamp.nanosec];
    stamps.add(stamp.join('.'));
    result.frames.push({
      timestamp: timestamp.toString(), stamp, frameId: cloud.header.frame_id, height: cloud.height,
      width: cloud.width, fields: cloud.fields.map((f) => f.name), points,
    });
    if (stamps.size >= wanted) {
      finish();
    }
  } else if (topic) {
    const value = JSON.parse(new TextDecoder().decode(data));
    (topic === '/hvk32/health' ? result.health : result.deviceInfos).push({timestamp: timestamp.toString(), value});
  }
});

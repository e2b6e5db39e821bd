// The points of a decoded sensor_msgs/msg/PointCloud2 as hvk32 writes them, read through the
// message's own field layout: [x, y, z, intensity, ring, time] per point.
export function cloudPoints(cloud) {
  const view = new DataView(cloud.data.buffer, cloud.data.byteOffset, cloud.data.byteLength);
  const layout = Object.fromEntries(cloud.fields.map((f) => [f.name, f]));
  const points = [];
  for (let i = 0; i < cloud.width * cloud.height; ++i) {
    const at = i * cloud.point_step;
    points.push([view.getFloat32(at + layout.x.offset, true), view.getFloat32(at + layout.y.offset, true),
      view.getFloat32(at + layout.z.offset, true), view.getFloat32(at + layout.intensity.offset, true),
      view.getUint16(at + layout.ring.offset, true), view.getFloat32(at + layout.time.offset, true)]);
  }
  return points;
}

"""A WebSocket client over a plain socket, for the Foxglove server's test and benchmark: the
handshake with any subprotocols (so that it can misbehave), frames read exactly, payloads into
one reused buffer when speed matters, and masked frames sent."""
import base64
import json
import os
import re
import socket
import struct

SUBPROTOCOL = "foxglove.websocket.v1"


class WsClient:
    def __init__(self, port, protocols=(SUBPROTOCOL,), receive_buffer=None):
        """Connects to 127.0.0.1:port and sends the upgrade request; `status` is the response's
        HTTP status (0 when the server closed without one), `response` its head."""
        self.sock = socket.socket()
        if receive_buffer:
            self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, receive_buffer)
        self.sock.settimeout(10)
        self.sock.connect(("127.0.0.1", port))
        key = base64.b64encode(os.urandom(16)).decode()
        request = (f"GET / HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                   f"Sec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n")
        if protocols:
            request += f"Sec-WebSocket-Protocol: {', '.join(protocols)}\r\n"
        self.sock.sendall((request + "\r\n").encode())
        received = b""
        while b"\r\n\r\n" not in received:
            chunk = self.sock.recv(65536)
            if not chunk:
                break
            received += chunk
        head, _, rest = received.partition(b"\r\n\r\n")
        self.pending = bytearray(rest)  # read past the head: the first frames
        self.buffer = bytearray(1 << 20)  # frame_view()'s payloads
        self.response = head.decode(errors="replace")
        self.status = int(self.response.split()[1]) if self.response else 0

    def protocol(self):
        found = re.search(r"(?im)^sec-websocket-protocol:\s*(\S+)", self.response)
        return found.group(1) if found else None

    def _read_into(self, view):
        n = min(len(view), len(self.pending))
        if n:
            view[:n] = self.pending[:n]
            del self.pending[:n]
        while n < len(view):
            got = self.sock.recv_into(view[n:])
            if not got:
                raise ConnectionError("closed")
            n += got

    def frame_view(self):
        """(opcode, memoryview of the payload) of the next frame, valid until the next call."""
        head = bytearray(2)
        self._read_into(memoryview(head))
        length = head[1] & 0x7F
        if length >= 126:
            extra = bytearray(2 if length == 126 else 8)
            self._read_into(memoryview(extra))
            length = struct.unpack(">H" if length == 126 else ">Q", extra)[0]
        if length > len(self.buffer):
            self.buffer = bytearray(length)
        view = memoryview(self.buffer)[:length]
        self._read_into(view)
        return head[0] & 0x0F, view

    def frame(self):
        """(opcode, payload) of the next frame."""
        opcode, view = self.frame_view()
        return opcode, bytes(view)

    def send(self, payload, opcode=1):
        payload = payload.encode() if isinstance(payload, str) else payload
        mask = os.urandom(4)
        header = bytes([0x80 | opcode])
        if len(payload) < 126:
            header += bytes([0x80 | len(payload)])
        else:
            header += bytes([0x80 | 126]) + struct.pack(">H", len(payload))
        self.sock.sendall(header + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(payload)))

    def json(self, value):
        self.send(json.dumps(value))

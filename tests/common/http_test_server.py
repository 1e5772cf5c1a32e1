#!/usr/bin/env python3
"""HTTP server for the tests, on 127.0.0.1: answers as the request path asks, misbehaving
on purpose, and records every request so that tests can assert what it was sent.

    http_test_server.py --state-dir DIR [--idle-exit SECONDS]

Once listening it writes DIR/pid and then DIR/port, one line "<port> <refused port>": the
second is a port bound without listening, so a connection to it is refused. It ends on
GET /_quit, on SIGTERM, or after --idle-exit seconds without a request (300 by default),
so it never outlives the tests that started it by long.

Request paths, /<tag>/<mode>/<arguments>/<file name> (the tag keeps tests apart):
  len/<size>                   200, Content-Length, <size> bytes of the test pattern
  nolen/<size>                 200 without Content-Length; the body ends with the connection
  status/<code>                that status with a short body
  busy/<n>/<size>              503 for the first <n> requests of this path, then as len
  cut/<size>/<sent>/<n>        the first <n> requests of this path declare <size> bytes and
                               drop the connection after <sent>; later ones as len
  slow/<size>/<chunk>/<ms>     as len, <chunk> bytes every <ms> milliseconds
  stall/<size>/<sent>          declares <size>, sends <sent> bytes, then nothing until the
                               client goes (60 s at most)
  hang                         reads the request and never answers (60 s at most)
  /_log/<tag>                  the requests recorded for <tag>: request line, headers, blank line
  /_quit                       ends the server
Byte i of every body is i % 251.

Standard library only: the update tests to come grow it a TLS listener and a proxy that
tunnels CONNECT.
"""
import argparse
import os
import select
import signal
import socket
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

PATTERN = bytes(i % 251 for i in range(251)) * 4096  # a whole number of periods


def pattern(start, length):
    """Bytes start..start+length of the body pattern."""
    out = bytearray()
    while length > 0:
        offset = start % len(PATTERN)
        piece = PATTERN[offset:offset + length]
        out += piece
        start += len(piece)
        length -= len(piece)
    return bytes(out)


class State:
    def __init__(self):
        self.lock = threading.Lock()
        self.requests = []  # (tag, text)
        self.counts = {}    # path -> requests seen
        self.last_activity = time.monotonic()
        self.stopping = threading.Event()

    def record(self, path, text):
        tag = path.split('/')[1] if path.count('/') >= 1 else ''
        with self.lock:
            self.requests.append((tag, text))
            self.counts[path] = self.counts.get(path, 0) + 1
            self.last_activity = time.monotonic()
            return self.counts[path]

    def log(self, tag):
        with self.lock:
            return ''.join(text for t, text in self.requests if t == tag)


class Handler(BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'
    server_version = 'LumaspireTestServer'

    def log_message(self, fmt, *args):
        pass  # the recorded requests are the log

    def do_GET(self):
        try:
            self.answer()
        except (ConnectionError, socket.timeout, OSError):
            self.close_connection = True

    def answer(self):
        state = self.server.state
        parts = self.path.split('?')[0].split('/')[1:]
        if parts[:1] == ['_log'] and len(parts) >= 2:
            return self.send_body(200, state.log(parts[1]).encode('latin-1'), content_type='text/plain')
        if parts[:1] == ['_quit']:
            self.send_body(200, b'bye\n')
            state.stopping.set()
            threading.Thread(target=self.server.shutdown, daemon=True).start()
            return
        text = self.requestline + '\r\n' + ''.join(
            '%s: %s\r\n' % (k, v) for k, v in self.headers.items()) + '\r\n'
        nth = state.record(self.path, text)
        mode, args = (parts[1], parts[2:-1]) if len(parts) >= 3 else ('', [])
        try:
            n = [int(a) for a in args]
        except ValueError:
            n = []
        if mode == 'len' and len(n) == 1:
            self.send_pattern(n[0])
        elif mode == 'nolen' and len(n) == 1:
            self.send_response(200)
            self.send_header('Connection', 'close')
            self.end_headers()
            self.write_pattern(0, n[0])
            self.close_connection = True
        elif mode == 'status' and len(n) == 1:
            self.send_body(n[0], b'status %d\n' % n[0])
        elif mode == 'busy' and len(n) == 2:
            if nth <= n[0]:
                self.send_body(503, b'busy\n')
            else:
                self.send_pattern(n[1])
        elif mode == 'cut' and len(n) == 3:
            if nth <= n[2]:
                self.send_head(n[0])
                self.write_pattern(0, n[1])
                self.close_connection = True
            else:
                self.send_pattern(n[0])
        elif mode == 'slow' and len(n) == 3:
            self.send_head(n[0])
            sent = 0
            while sent < n[0] and not state.stopping.is_set():
                chunk = min(n[1], n[0] - sent)
                self.write_pattern(sent, chunk)
                sent += chunk
                time.sleep(n[2] / 1000.0)
        elif mode == 'stall' and len(n) == 2:
            self.send_head(n[0])
            self.write_pattern(0, n[1])
            self.hold()
        elif mode == 'hang':
            self.hold()
        else:
            self.send_body(404, b'no such test path\n')

    def send_head(self, size, status=200, content_type='application/octet-stream'):
        self.send_response(status)
        self.send_header('Content-Type', content_type)
        self.send_header('Content-Length', str(size))
        self.end_headers()

    def send_body(self, status, body, content_type='text/plain'):
        self.send_head(len(body), status, content_type)
        self.wfile.write(body)

    def send_pattern(self, size):
        self.send_head(size)
        self.write_pattern(0, size)

    def write_pattern(self, start, length):
        end = start + length
        while start < end:
            piece = pattern(start, min(end - start, len(PATTERN)))
            self.wfile.write(piece)
            start += len(piece)
        self.wfile.flush()

    def hold(self):
        """Keeps the connection open, silent, until the client closes it."""
        self.wfile.flush()
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and not self.server.state.stopping.is_set():
            readable, _, _ = select.select([self.connection], [], [], 0.2)
            if readable and not self.connection.recv(4096):
                break
        self.close_connection = True


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = False


def watch_idle(server, idle_exit):
    state = server.state
    while not state.stopping.wait(5):
        with state.lock:
            idle = time.monotonic() - state.last_activity
        if idle > idle_exit:
            state.stopping.set()
            server.shutdown()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--state-dir', required=True)
    parser.add_argument('--idle-exit', type=float, default=300)
    options = parser.parse_args()

    server = Server(('127.0.0.1', 0), Handler)
    server.state = State()
    refused = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    refused.bind(('127.0.0.1', 0))  # bound, never listening: connections are refused

    signal.signal(signal.SIGTERM, lambda *_: (server.state.stopping.set(),
                                              threading.Thread(target=server.shutdown, daemon=True).start()))
    threading.Thread(target=watch_idle, args=(server, options.idle_exit), daemon=True).start()

    def write(name, text):
        tmp = os.path.join(options.state_dir, name + '.tmp')
        with open(tmp, 'w') as f:
            f.write(text)
        os.replace(tmp, os.path.join(options.state_dir, name))

    write('pid', '%d\n' % os.getpid())
    write('port', '%d %d\n' % (server.server_address[1], refused.getsockname()[1]))
    try:
        server.serve_forever(poll_interval=0.2)
    finally:
        server.server_close()
        refused.close()
        for name in ('port', 'pid'):
            try:
                os.remove(os.path.join(options.state_dir, name))
            except OSError:
                pass


if __name__ == '__main__':
    main()

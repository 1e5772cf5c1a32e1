#!/usr/bin/env python3
"""The maker's web server for tests, reached the way the program reaches it.

    tls_update_server.py start --state DIR [--slow-chunk BYTES] [--slow-delay SECONDS]
    tls_update_server.py stop --state DIR

`start` makes, in DIR, two test certificate authorities and a server certificate from
each for www.tollvane.example (with the openssl command line), starts a background
process and returns once it listens. That process runs, on 127.0.0.1 and free ports:

- a TLS server with the certificate of the authority "trusted" (ca.der), which tests add
  to the Wine prefix's root store, and one with the certificate of the authority
  "stranger" (stranger-ca.der), which nobody trusts;
- a plain HTTP server for http:// addresses of the maker's host;
- two proxies for WinInet's preconfigured proxy setting: "CONNECT www.tollvane.example:443"
  is tunnelled to the trusted TLS server by the first and to the stranger's by the
  second; plain "GET http://www.tollvane.example/..." goes to the plain server.

All servers serve the files of DIR/www (tests write them there), under the maker's
host and under a second one, dl.tollvane.example (a download host the maker might use),
whose requests are logged with "//dl.tollvane.example" before the path. A path under
/slow/ serves the same file in chunks of --slow-chunk bytes every --slow-delay seconds,
so a progress bar can move; under /nolength/, without Content-Length (the body ends with
the connection); under /trickle/, a reply whose headers never end, one byte every two
seconds (too often for any receive time-out); /redirect-http/<path> and
/redirect-other/<path> answer 302 to http://www.tollvane.example/<path> and to
https://dl.tollvane.example/<path>. A missing file is a 404. Every request is appended to
DIR/requests.log as "<scheme> <method> <path> <status>". DIR/ports.txt holds
"name=port" lines (proxy, stranger_proxy, tls, stranger_tls, http) and appears only
once everything listens. The background process ends on `stop`, or by itself after
--lifetime seconds.
"""

import argparse
import http.server
import os
import select
import signal
import socket
import socketserver
import ssl
import subprocess
import sys
import threading
import time
import urllib.parse

HOST_NAME = 'www.tollvane.example'
OTHER_HOST = 'dl.tollvane.example'
HOSTS = (HOST_NAME, OTHER_HOST)


def make_authority(state, name):
    """Test authority <name> and its server certificate for the maker's host."""
    key, pem = os.path.join(state, name + '-ca.key'), os.path.join(state, name + '-ca.pem')
    der = os.path.join(state, name + '-ca.der')
    skey, scsr = os.path.join(state, name + '-server.key'), os.path.join(state, name + '-server.csr')
    spem, ext = os.path.join(state, name + '-server.pem'), os.path.join(state, name + '-server.ext')
    # A fresh subject every run, so a stale copy in a prefix's store never matches.
    subject = '/CN=Lumaspire Test Authority %s %d-%d' % (name, os.getpid(), int(time.time()))

    def openssl(*args):
        subprocess.run(('openssl',) + args, check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.PIPE)

    openssl('req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-sha256', '-days', '30',
            '-keyout', key, '-out', pem, '-subj', subject,
            '-addext', 'basicConstraints=critical,CA:TRUE',
            '-addext', 'keyUsage=critical,keyCertSign,cRLSign')
    openssl('x509', '-in', pem, '-outform', 'DER', '-out', der)
    openssl('req', '-newkey', 'rsa:2048', '-nodes', '-sha256', '-keyout', skey, '-out', scsr,
            '-subj', '/CN=' + HOST_NAME)
    with open(ext, 'w') as f:
        f.write('subjectAltName=%s\nbasicConstraints=CA:FALSE\n'
                'keyUsage=critical,digitalSignature,keyEncipherment\n'
                'extendedKeyUsage=serverAuth\n' % ','.join('DNS:' + h for h in HOSTS))
    openssl('x509', '-req', '-in', scsr, '-CA', pem, '-CAkey', key, '-CAcreateserial',
            '-sha256', '-days', '30', '-out', spem, '-extfile', ext)
    # The server presents its authority too, so a client that does not trust it sees an
    # unknown root (not a chain it cannot complete).
    chain = os.path.join(state, name + '-chain.pem')
    with open(chain, 'wb') as out:
        for part in (spem, pem):
            with open(part, 'rb') as f:
                out.write(f.read())
    # The DER copy is the name tests look for.
    final_der = os.path.join(state, 'ca.der' if name == 'trusted' else name + '-ca.der')
    if final_der != der:
        os.replace(der, final_der)
    return chain, skey


class Config:
    root = ''
    log_path = ''
    slow_chunk = 4096
    slow_delay = 0.2
    log_lock = threading.Lock()


class FileHandler(http.server.BaseHTTPRequestHandler):
    scheme = 'https'
    server_version = 'LumaspireTest/1.0'
    # HTTP/1.0: one request per connection, so nothing is kept open between tests.
    protocol_version = 'HTTP/1.0'

    def log_message(self, fmt, *args):
        pass

    def host(self):
        if '://' in self.path:
            return (urllib.parse.urlsplit(self.path).hostname or '').lower()
        return (self.headers.get('Host') or HOST_NAME).split(':')[0].lower()

    def record(self, status):
        host = self.host()
        prefix = '' if host == HOST_NAME else '//' + host
        with Config.log_lock, open(Config.log_path, 'a') as f:
            f.write('%s %s %s%s %d\n' % (self.scheme, self.command, prefix, self.path_only(), status))

    def path_only(self):
        # Through a proxy a plain request names the whole address.
        path = urllib.parse.urlsplit(self.path).path if '://' in self.path else self.path
        return urllib.parse.unquote(path.split('?', 1)[0])

    def do_HEAD(self):
        self.serve(body=False)

    def do_GET(self):
        self.serve(body=True)

    def serve(self, body):
        path = self.path_only()
        for target, prefix in (('http://' + HOST_NAME, '/redirect-http/'),
                               ('https://' + OTHER_HOST, '/redirect-other/')):
            if path.startswith(prefix):
                self.record(302)
                self.send_response(302)
                self.send_header('Location', target + '/' + path[len(prefix):])
                self.send_header('Content-Length', '0')
                self.end_headers()
                return
        if path.startswith('/trickle/'):
            self.record(200)
            self.trickle()
            return
        mode = ''
        for prefix in ('/slow/', '/nolength/'):
            if path.startswith(prefix):
                mode, path = prefix, path[len(prefix) - 1:]
        slow = mode == '/slow/'
        local = os.path.normpath(os.path.join(Config.root, path.lstrip('/')))
        if not local.startswith(os.path.normpath(Config.root) + os.sep) or not os.path.isfile(local):
            self.record(404)
            self.send_error(404)
            return
        with open(local, 'rb') as f:
            data = f.read()
        self.record(200)
        self.send_response(200)
        self.send_header('Content-Type', 'application/octet-stream')
        if mode != '/nolength/':
            self.send_header('Content-Length', str(len(data)))
        self.end_headers()
        if not body:
            return
        try:
            if not slow:
                self.wfile.write(data)
                return
            for i in range(0, len(data), Config.slow_chunk):
                self.wfile.write(data[i:i + Config.slow_chunk])
                self.wfile.flush()
                time.sleep(Config.slow_delay)
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError, OSError):
            pass  # the client stopped reading: a cancelled download

    def trickle(self):
        """A reply that never gets past its headers, for two minutes at most."""
        try:
            self.wfile.write(b'HTTP/1.0 200 OK\r\nX-Trickle: ')
            self.wfile.flush()
            for _ in range(60):
                time.sleep(2)
                self.wfile.write(b'a')
                self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError, OSError):
            pass
        self.close_connection = True


class PlainHandler(FileHandler):
    scheme = 'http'


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = False


class TlsServer(Server):
    def __init__(self, context):
        self.context = context
        super().__init__(('127.0.0.1', 0), FileHandler)

    def get_request(self):
        sock, addr = self.socket.accept()
        # The handshake runs in the request's own thread, not in the accept loop.
        return self.context.wrap_socket(sock, server_side=True, do_handshake_on_connect=False), addr

    def finish_request(self, request, client_address):
        try:
            request.do_handshake()
        except (ssl.SSLError, OSError):
            return  # a client that does not trust the certificate hangs up here
        super().finish_request(request, client_address)


def relay(a, b):
    """Copies bytes both ways until either side closes."""
    sockets = [a, b]
    try:
        while True:
            readable, _, broken = select.select(sockets, [], sockets, 60)
            if broken or not readable:
                return
            for s in readable:
                data = s.recv(65536)
                if not data:
                    return
                (b if s is a else a).sendall(data)
    except OSError:
        pass


class ProxyHandler(socketserver.BaseRequestHandler):
    tls_port = 0
    http_port = 0

    def handle(self):
        head = b''
        while b'\r\n\r\n' not in head:
            chunk = self.request.recv(4096)
            if not chunk:
                return
            head += chunk
            if len(head) > 65536:
                return
        line = head.split(b'\r\n', 1)[0].decode('latin-1')
        parts = line.split()
        if len(parts) < 3:
            return
        method, target = parts[0], parts[1]
        if method == 'CONNECT':
            host, _, port = target.rpartition(':')
            if host.lower() not in HOSTS or port != '443':
                self.request.sendall(b'HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n')
                return
            upstream = socket.create_connection(('127.0.0.1', self.tls_port))
            self.request.sendall(b'HTTP/1.1 200 Connection established\r\n\r\n')
            rest = head.split(b'\r\n\r\n', 1)[1]
        else:
            host = urllib.parse.urlsplit(target).hostname or ''
            if host.lower() != HOST_NAME:
                self.request.sendall(b'HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n')
                return
            upstream = socket.create_connection(('127.0.0.1', self.http_port))
            rest = head
        with upstream:
            if rest:
                upstream.sendall(rest)
            relay(self.request, upstream)


class Proxy(socketserver.ThreadingTCPServer):
    daemon_threads = True

    def __init__(self, tls_port, http_port):
        handler = type('BoundProxyHandler', (ProxyHandler,),
                       {'tls_port': tls_port, 'http_port': http_port})
        super().__init__(('127.0.0.1', 0), handler)


def serve(args):
    state = os.path.abspath(args.state)
    Config.root = os.path.join(state, 'www')
    Config.log_path = os.path.join(state, 'requests.log')
    Config.slow_chunk = args.slow_chunk
    Config.slow_delay = args.slow_delay
    os.makedirs(Config.root, exist_ok=True)
    open(Config.log_path, 'w').close()

    servers = {}
    for name in ('trusted', 'stranger'):
        cert, key = make_authority(state, name)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert, key)
        servers[name] = TlsServer(context)
    plain = Server(('127.0.0.1', 0), PlainHandler)
    proxies = {name: Proxy(servers[name].server_address[1], plain.server_address[1])
               for name in servers}

    everything = list(servers.values()) + [plain] + list(proxies.values())
    for s in everything:
        threading.Thread(target=s.serve_forever, daemon=True).start()

    ports = {
        'proxy': proxies['trusted'].server_address[1],
        'stranger_proxy': proxies['stranger'].server_address[1],
        'tls': servers['trusted'].server_address[1],
        'stranger_tls': servers['stranger'].server_address[1],
        'http': plain.server_address[1],
    }
    with open(os.path.join(state, 'pid'), 'w') as f:
        f.write(str(os.getpid()))
    tmp = os.path.join(state, 'ports.txt.tmp')
    with open(tmp, 'w') as f:
        f.writelines('%s=%d\n' % kv for kv in ports.items())
    os.replace(tmp, os.path.join(state, 'ports.txt'))

    done = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: done.set())
    done.wait(args.lifetime)
    # Every server thread is a daemon: nothing to wind down.
    os._exit(0)


def start(args):
    state = os.path.abspath(args.state)
    stop(args)
    os.makedirs(state, exist_ok=True)
    for name in ('ports.txt', 'pid', 'serve.err'):
        if os.path.exists(os.path.join(state, name)):
            os.remove(os.path.join(state, name))
    cmd = [sys.executable, os.path.abspath(__file__), 'serve', '--state', state,
           '--slow-chunk', str(args.slow_chunk), '--slow-delay', str(args.slow_delay),
           '--lifetime', str(args.lifetime)]
    # Detached from our output: ctest waits for every process holding its pipe.
    with open(os.path.join(state, 'serve.err'), 'w') as err:
        proc = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=err, start_new_session=True)
    deadline = time.time() + 120
    ports = os.path.join(state, 'ports.txt')
    while not os.path.exists(ports):
        if proc.poll() is not None or time.time() > deadline:
            with open(os.path.join(state, 'serve.err')) as f:
                sys.stderr.write(f.read())
            sys.stderr.write('tls_update_server: the servers did not start\n')
            return 1
        time.sleep(0.1)
    with open(ports) as f:
        sys.stdout.write(f.read())
    return 0


def stop(args):
    pid_path = os.path.join(os.path.abspath(args.state), 'pid')
    try:
        with open(pid_path) as f:
            pid = int(f.read().strip())
        os.kill(pid, signal.SIGTERM)
        for _ in range(50):
            os.kill(pid, 0)
            time.sleep(0.1)
    except (OSError, ValueError):
        pass
    if os.path.exists(pid_path):
        os.remove(pid_path)
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('command', choices=('start', 'stop', 'serve'))
    parser.add_argument('--state', required=True)
    parser.add_argument('--slow-chunk', type=int, default=4096)
    parser.add_argument('--slow-delay', type=float, default=0.2)
    parser.add_argument('--lifetime', type=float, default=3600)
    args = parser.parse_args()
    if args.command == 'serve':
        serve(args)
        return 0
    return start(args) if args.command == 'start' else stop(args)


if __name__ == '__main__':
    sys.exit(main())

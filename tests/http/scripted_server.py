#!/usr/bin/python3
"""A loopback HTTP server that answers with exactly the bytes each test case needs.

    scripted_server.py PORT_FILE

Listens on a free port of 127.0.0.1, writes the port to PORT_FILE and serves until
killed. The request path picks the answer; /echo answers with the request it
received, so a script can compare it byte for byte. Each connection gets one answer
and is closed (HTTP/1.0). Stops by itself after ten minutes.
"""
import os
import socket
import sys
import threading
import time

OK = b"HTTP/1.0 200 OK\r\n"


def chain(path):
    left = int(path.rsplit("/", 1)[1])
    if left == 0:
        return OK + b"\r\nend of chain\n"
    return b"HTTP/1.0 302 Found\r\nLocation: http://%s/chain/%d\r\n\r\n" % (HOST, left - 1)


def answer(path, request):
    """The bytes to send, or a list of (bytes, delay) pieces for a slow server."""
    if path == "/echo":
        return OK + b"Content-Type: text/plain\r\n\r\n" + request
    if path.startswith("/chain/"):
        return chain(path)
    fixed = {
        "/script": OK + b"\r\n$Set{fetched;yes}path=[$CurrentScriptPath] tokens=[$Math{1+1}]\n",
        "/quoted": OK + b"\r\nraw $Math{2+2} {braces;semi}\n",
        "/no-status": b"Just some text, no status line\r\n\r\nbody\n",
        "/no-code": b"HTTP/1.0 OK\r\n\r\nbody\n",
        "/lf-only": b"HTTP/1.0 200 OK\nContent-Type: text/plain\nX-Line-Ends: LF\n\nbody after LF\n",
        "/cr-cr": b"HTTP/1.0 200 OK\rX-Line-Ends: CR\r\rbody after CR",
        "/no-length": OK + b"Content-Type: text/plain\r\n\r\n" + b"line of text\n" * 300,
        "/early-close": OK + b"Content-Length: 100\r\n\r\nonly part of it",
        "/missing-blank": OK + b"Content-Type: text/plain\r\n",
        "/location-on-200": OK + b"Location: http://%s/target\r\n\r\nnot this body\n" % HOST,
        "/relative": b"HTTP/1.0 302 Found\r\nLocation: /target\r\n\r\n",
        "/loop": b"HTTP/1.0 302 Found\r\nLocation: http://%s/loop\r\n\r\n" % HOST,
        "/target": OK + b"Content-Length: 15\r\n\r\ntarget reached\n",
        "/server-error": b"HTTP/1.0 500 Internal Server Error\r\nContent-Length: 5\r\n\r\nerror",
        "/huge-length": OK + b"Content-Length: 4000000000\r\n\r\nsmall",
        "/long-header": OK + b"X-Long: " + b"x" * 5000 + b"\r\n\r\nbody\n",
        "/garbage": bytes((i * 37 + 11) % 256 for i in range(3000)),
        "/headers": OK + b"Content-Length: 0\r\nX-Custom-Thing:   value one\r\n"
        b"Set-Cookie: a=b; path=/\r\nX-Script: $Set{pwned;1}\r\nServer: scripted\r\n"
        b"X-Md5-Sum: abc\r\nTight:value\r\n  Indented: yes\r\n1st-Digit: x\r\nAfter: no\r\n\r\n",
        "/known-length": OK + b"Content-Length: 20000\r\n\r\n" + b"k" * 20000,
    }
    if path in fixed:
        return fixed[path]
    if path == "/drip":
        data = OK + b"Content-Length: 10\r\n\r\n0123456789"
        return [(data[i : i + 1], 0.01) for i in range(len(data))]
    if path == "/stall":
        return [(OK + b"Content-Length: 10\r\n\r\n01234", 0), (b"56789", 1.5)]
    return b"HTTP/1.0 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found"


def read_request(conn):
    request = b""
    conn.settimeout(0.5)
    try:
        while b"\r\n\r\n" not in request:
            chunk = conn.recv(4096)
            if not chunk:
                break
            request += chunk
    except socket.timeout:
        pass
    return request


def serve(conn):
    with conn:
        request = read_request(conn)
        parts = request.split(b" ", 2)
        path = parts[1].decode("latin-1") if len(parts) > 1 else ""
        reply = answer(path.split("?", 1)[0], request)
        try:
            if isinstance(reply, list):
                for piece, delay in reply:
                    time.sleep(delay)
                    conn.sendall(piece)
            else:
                conn.sendall(reply)
        except OSError:
            pass  # the client stopped listening: that is its right


def main():
    global HOST
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(32)
    port = listener.getsockname()[1]
    HOST = b"127.0.0.1:%d" % port
    with open(sys.argv[1] + ".tmp", "w") as f:
        f.write(str(port))
    os.rename(sys.argv[1] + ".tmp", sys.argv[1])
    listener.settimeout(1)
    deadline = time.time() + 600
    while time.time() < deadline:
        try:
            conn, _ = listener.accept()
        except socket.timeout:
            continue
        threading.Thread(target=serve, args=(conn,), daemon=True).start()


HOST = b""
if __name__ == "__main__":
    main()

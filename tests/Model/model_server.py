#!/usr/bin/env python3
"""A model server on loopback for the download tests.

Serves one file under paths that each behave one way (see ROUTES), prints its
port on the first line of standard output, and records every request's path
and Range header, readable at /_requests.
"""
import argparse
import json
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

REQUESTS = []
COUNTERS = {}
LOCK = threading.Lock()


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    body = b""

    def log_message(self, *args):
        pass

    def head(self, status, headers=(), length=None):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        if length is not None:
            self.send_header("Content-Length", str(length))
        self.send_header("Connection", "close")
        self.end_headers()

    def send_body(self, data, pace=None):
        if pace is None:
            self.wfile.write(data)
            return
        chunk, pause = pace
        for i in range(0, len(data), chunk):
            self.wfile.write(data[i:i + chunk])
            self.wfile.flush()
            time.sleep(pause)

    def range_start(self):
        value = self.headers.get("Range")
        if not value or not value.startswith("bytes=") or not value.endswith("-"):
            return None
        return int(value[len("bytes="):-1])

    def serve_model(self, pace=None):
        size = len(self.body)
        start = self.range_start()
        if start is None:
            self.head(200, length=size)
            self.send_body(self.body, pace)
        elif start >= size:
            self.head(416, [("Content-Range", f"bytes */{size}")], length=0)
        else:
            self.head(206, [("Content-Range", f"bytes {start}-{size - 1}/{size}")], length=size - start)
            self.send_body(self.body[start:], pace)

    def do_GET(self):
        path = self.path
        with LOCK:
            if path == "/_requests":
                data = json.dumps(REQUESTS).encode()
                self.head(200, [("Content-Type", "application/json")], length=len(data))
                self.wfile.write(data)
                return
            REQUESTS.append({"path": path, "range": self.headers.get("Range")})
            COUNTERS[path] = COUNTERS.get(path, 0) + 1
            count = COUNTERS[path]
        size = len(self.body)
        start = self.range_start()
        if path == "/model":
            self.serve_model()
        elif path == "/slow":
            self.serve_model(pace=(65536, 0.01))
        elif path == "/crawl":
            # About 1.6 MB/s: slow enough to be caught in the middle even on a busy machine.
            self.serve_model(pace=(16384, 0.01))
        elif path == "/redirect":
            self.head(302, [("Location", "/model")], length=0)
        elif path == "/ignore-range":
            self.head(200, length=size)
            self.wfile.write(self.body)
        elif path == "/wrong-range":
            if start is None:
                self.head(200, length=size)
                self.wfile.write(self.body)
            else:
                self.head(206, [("Content-Range", f"bytes 0-{size - 1}/{size}")], length=size)
                self.wfile.write(self.body)
        elif path == "/always-416":
            if start is None:
                self.head(200, length=size)
                self.wfile.write(self.body)
            else:
                self.head(416, length=0)
        elif path == "/always-206":
            self.head(206, [("Content-Range", f"bytes 0-{size - 1}/{size}")], length=size)
            self.wfile.write(self.body)
        elif path.startswith("/flaky503/"):
            if count <= int(path.rsplit("/", 1)[1]):
                self.head(503, length=0)
            else:
                self.serve_model()
        elif path == "/oversized":
            # The model, then as much again: not the file that was asked for.
            self.head(200, length=2 * size)
            self.send_body(self.body + self.body)
        elif path == "/503":
            self.head(503, length=0)
        elif path == "/cut":
            # No length: the early end of the connection looks like the end of the body.
            self.head(200)
            self.wfile.write(self.body[: size // 2])
            self.close_connection = True
        elif path == "/cut-length":
            self.head(200, length=size)
            self.wfile.write(self.body[: size // 2])
            self.wfile.flush()
            self.close_connection = True
        elif path.startswith("/cut-at/"):
            # The full length is announced, then the connection ends after the given number of bytes.
            self.head(200, length=size)
            self.wfile.write(self.body[: int(path.rsplit("/", 1)[1])])
            self.wfile.flush()
            self.close_connection = True
        elif path == "/stall":
            self.head(200, length=size)
            self.wfile.write(self.body[:1000])
            self.wfile.flush()
            time.sleep(30)
        else:
            self.head(404, length=0)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("file")
    args = parser.parse_args()
    with open(args.file, "rb") as f:
        Handler.body = f.read()
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""A local stand-in for Morvenda's update service: a real HTTP server on 127.0.0.1.

From the command line, for people trying the updater by hand:

    python3 tests/tools/update_service.py [--port 9090] [--root FOLDER]

answers ``GET /version/update?...`` with FOLDER/version.json and serves every
other path as a file under FOLDER (404 when there is none); FOLDER defaults to
the demonstration's, demo/service. Each request line
is printed to standard output as it arrives. Stop it with Ctrl+C.

From Python, for tests, each answer is scripted per path::

    with UpdateService(port=9090) as service:
        service.answer("/version/update", body=b'{"data": {...}}')
        service.answer("/files/setup.exe", body=data, drop_after=100)
        ... run update.exe ...
        service.requests          # every request line received, in order

An answer can set the status code, wait before answering (``delay`` seconds,
or until a ``threading.Event`` given as ``hold`` is set), send the body slowly
(``trickle=[bytes, seconds]`` per piece), leave out the Content-Length
(``announce_length=False``, the close ends the body), and drop the connection
part-way through the body (``drop_after`` bytes of it sent after a
Content-Length that announces all of them). "No server" is simply a service
that was not started, so the port refuses connections.
"""

import argparse
import http.server
import json
import pathlib
import socket
import sys
import threading
import urllib.parse
from dataclasses import dataclass
from typing import Optional

QUERY_PATH = "/version/update"
DEMO_ROOT = pathlib.Path(__file__).resolve().parents[2] / "demo" / "service"


@dataclass
class Answer:
    body: bytes = b""
    status: int = 200
    content_type: str = "application/octet-stream"
    delay: float = 0.0
    hold: Optional[threading.Event] = None
    drop_after: Optional[int] = None
    trickle: Optional[list] = None  # [bytes per piece, seconds between pieces]
    announce_length: bool = True     # False: no Content-Length, the close ends the body


class UpdateService:
    """The scripted service. Paths are matched without their query string."""

    HOLD_LIMIT = 30.0  # a held answer is sent anyway after this many seconds

    def __init__(self, port=9090, host="127.0.0.1", root=None, echo=False):
        self.host = host
        self.port = port
        self.root = pathlib.Path(root) if root else None
        self.echo = echo
        self._answers = {}
        self._requests = []
        self._lock = threading.Lock()
        self._arrived = threading.Condition(self._lock)
        self._server = None
        self._thread = None

    # Scripting -----------------------------------------------------------

    def answer(self, path, body=b"", status=200, content_type=None, delay=0.0, hold=None,
               drop_after=None, trickle=None, announce_length=True):
        if isinstance(body, str):
            body = body.encode("utf-8")
        if content_type is None:
            content_type = "application/json" if path == QUERY_PATH else "application/octet-stream"
        with self._lock:
            self._answers[path] = Answer(body, status, content_type, delay, hold,
                                         drop_after, trickle, announce_length)

    def url(self, path):
        return f"http://{self.host}:{self.port}{path}"

    @property
    def requests(self):
        """The request lines received so far, e.g. 'GET /version/update?version=1&type=x HTTP/1.1'."""
        with self._lock:
            return list(self._requests)

    def paths(self):
        """The request targets received so far (path and query)."""
        return [line.split(" ")[1] for line in self.requests if line.count(" ") >= 2]

    def clear(self):
        with self._lock:
            self._requests.clear()
            self._answers.clear()

    def wait_for_requests(self, count, timeout=10.0):
        """Waits until at least `count` requests arrived; returns whether they did."""
        with self._arrived:
            return self._arrived.wait_for(lambda: len(self._requests) >= count, timeout)

    # Life cycle ----------------------------------------------------------

    def start(self):
        service = self

        class Handler(_Handler):
            owner = service

        self._server = http.server.ThreadingHTTPServer((self.host, self.port), Handler)
        self._server.daemon_threads = True
        self._thread = threading.Thread(target=self._server.serve_forever, daemon=True)
        self._thread.start()
        return self

    def stop(self):
        if self._server:
            self._server.shutdown()
            self._server.server_close()
            self._thread.join()
            self._server = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    # Used by the handler -------------------------------------------------

    def _record(self, request_line):
        with self._arrived:
            self._requests.append(request_line)
            self._arrived.notify_all()
        if self.echo:
            print(request_line, flush=True)

    def _find(self, path):
        with self._lock:
            scripted = self._answers.get(path)
        if scripted is not None:
            return scripted
        if self.root is None:
            return None
        relative = "version.json" if path == QUERY_PATH else path.lstrip("/")
        file = (self.root / relative).resolve()
        if self.root.resolve() not in file.parents or not file.is_file():
            return None
        content_type = "application/json" if file.suffix == ".json" else "application/octet-stream"
        answer = Answer(body=file.read_bytes(), content_type=content_type)
        # A sidecar "<file>.answer" scripts how the file is served, for callers
        # that cannot reach this object (the C++ unit tests): JSON with any of
        # "status", "delay", "drop_after", "trickle".
        sidecar = file.with_name(file.name + ".answer")
        if sidecar.is_file():
            for key, value in json.loads(sidecar.read_text("utf-8")).items():
                setattr(answer, key, value)
        return answer


class _Handler(http.server.BaseHTTPRequestHandler):
    owner = None  # the UpdateService, set by a subclass per server

    def do_GET(self):
        self.owner._record(self.requestline)
        path = urllib.parse.urlsplit(self.path).path
        scripted = self.owner._find(path)
        if scripted is None:
            scripted = Answer(body=b"not found\n", status=404, content_type="text/plain")
        if scripted.hold is not None:
            scripted.hold.wait(UpdateService.HOLD_LIMIT)
        if scripted.delay:
            threading.Event().wait(scripted.delay)

        body = scripted.body
        self.send_response(scripted.status)
        self.send_header("Content-Type", scripted.content_type)
        if scripted.announce_length:
            self.send_header("Content-Length", str(len(body)))
        else:
            self.close_connection = True
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        if scripted.trickle:
            piece, pause = scripted.trickle
            sent = 0
            limit = len(body) if scripted.drop_after is None else scripted.drop_after
            while sent < limit:
                if sent:
                    threading.Event().wait(pause)
                self.wfile.write(body[sent:min(sent + piece, limit)])
                self.wfile.flush()
                sent += piece
            if scripted.drop_after is None:
                return
        elif scripted.drop_after is None:
            self.wfile.write(body)
            return
        else:
            self.wfile.write(body[: scripted.drop_after])
        # Part of the announced body has gone out; now the connection goes away.
        self.wfile.flush()
        self.close_connection = True
        try:
            self.connection.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass

    def log_message(self, format, *args):  # the request log above replaces it
        pass


def main(argv=None):
    parser = argparse.ArgumentParser(
        description="Local Morvenda update service: answers /version/update with "
                    "FOLDER/version.json and serves other paths from FOLDER.")
    parser.add_argument("--port", type=int, default=9090, help="port on 127.0.0.1 (default 9090)")
    parser.add_argument("--root", default=str(DEMO_ROOT),
                        help=f"folder to serve (default: the demonstration's, {DEMO_ROOT})")
    args = parser.parse_args(argv)
    service = UpdateService(port=args.port, root=args.root, echo=True)
    service.start()
    print(f"update service on http://127.0.0.1:{args.port}/ serving {pathlib.Path(args.root).resolve()}",
          file=sys.stderr, flush=True)
    try:
        threading.Event().wait()
    except KeyboardInterrupt:
        pass
    finally:
        service.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())

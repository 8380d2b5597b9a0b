#!/usr/bin/env python3
"""Serves the web page (build-web/site) with the headers that make it cross-origin isolated,
so that the browser lets it use threads (SharedArrayBuffer): Cross-Origin-Opener-Policy:
same-origin and Cross-Origin-Embedder-Policy: require-corp. Standard library only.

  python3 tools/serve_isolated.py [--port 8000] [--bind 127.0.0.1] [--directory build-web/site]
"""
import argparse
import functools
import http.server
import os


class IsolatedHandler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".wasm": "application/wasm", ".js": "text/javascript"}

    def end_headers(self):
        self.send_header("Cross-Origin-Opener-Policy", "same-origin")
        self.send_header("Cross-Origin-Embedder-Policy", "require-corp")
        # A page that fetches ?mesh= from here must find it allowed under require-corp.
        self.send_header("Cross-Origin-Resource-Policy", "same-origin")
        super().end_headers()


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "build-web", "site")
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=8000)
    parser.add_argument("--bind", default="127.0.0.1")
    parser.add_argument("--directory", default=os.path.normpath(root))
    options = parser.parse_args()
    handler = functools.partial(IsolatedHandler, directory=options.directory)
    with http.server.ThreadingHTTPServer((options.bind, options.port), handler) as server:
        print(f"serving {options.directory} at http://{options.bind}:{server.server_port}/",
              flush=True)
        try:
            server.serve_forever()
        except KeyboardInterrupt:
            pass


if __name__ == "__main__":
    main()

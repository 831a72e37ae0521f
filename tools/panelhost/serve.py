#!/usr/bin/env python3
"""Serves a folder on 127.0.0.1 for the panel demo; ".php" pages are plain
HTML here. Prints "port: N" once listening. usage: serve.py FOLDER"""
import functools
import http.server
import sys


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = dict(http.server.SimpleHTTPRequestHandler.extensions_map, **{".php": "text/html", ".mp3": "audio/mpeg"})

    def log_message(self, fmt, *args):
        sys.stderr.write("serve: " + fmt % args + "\n")


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Handler, directory=sys.argv[1]))
print("port: %d" % server.server_address[1], flush=True)
server.serve_forever()

#!/usr/bin/env python3
"""Test helpers for quorel-tiles fetch, standard library only.

tile_server.py tiles DIR [SIZE] < list   writes a distinct PNG for each z/x/y line as DIR/z/x/y.png
tile_server.py pixels PNG "X,Y:R,G,B ..."  exits 1 unless each pixel has its colour
tile_server.py serve PORTFILE LOG        a tile server that misbehaves by column (x % 10):
  0 a tile   1 429 with Retry-After: 2 the first time   2 503 the first time   3 an HTML page with 200
  4 a body cut short of its Content-Length   5 stalls after the headers   6 closes mid-body (chunked)
  7 a 300 px tile   8 404   9 204
Every request is logged as "seconds path status". The server ends by itself after 300 s.
"""
import http.server, os, struct, sys, threading, time, zlib


def png(col, row, size=256):
    """A two-colour tile of its own for every column and row, small and quick to make."""
    raw = (b"\0" + b"\x0f\xf0" * (size // 16)) * size
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 1, 3, 0, 0, 0))
            + chunk(b"PLTE", bytes((col % 256, row % 256, (col * 7 + row) % 256, col // 256 % 256, row // 256 % 256, 0)))
            + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def tiles(folder, size):
    for line in sys.stdin:
        z, x, y = line.strip().split("/")
        os.makedirs(os.path.join(folder, z, x), exist_ok=True)
        with open(os.path.join(folder, z, x, y + ".png"), "wb") as f:
            f.write(png(int(x), int(y), size))


def pixels(file, wanted):
    data = open(file, "rb").read()
    at, idat = 8, b""
    while at < len(data):
        size, kind = struct.unpack(">I4s", data[at:at + 8])
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", data[at + 8:at + 18])
        elif kind == b"IDAT":
            idat += data[at + 8:at + 8 + size]
        at += size + 12
    step = {2: 3, 6: 4}[colour]
    raw, rows, prior = zlib.decompress(idat), [], bytearray(width * step)
    for y in range(height):
        line = raw[y * (width * step + 1):(y + 1) * (width * step + 1)]
        kind, row = line[0], bytearray(line[1:])
        for i in range(len(row)):
            a = row[i - step] if i >= step else 0
            b, c = prior[i], prior[i - step] if i >= step else 0
            p = a + b - c
            pred = [0, a, b, (a + b) // 2,
                    a if abs(p - a) <= abs(p - b) and abs(p - a) <= abs(p - c) else b if abs(p - b) <= abs(p - c) else c][kind]
            row[i] = (row[i] + pred) & 255
        rows.append(row)
        prior = row
    ok = True
    for spec in wanted.split():
        (x, y), rgb = map(int, spec.split(":")[0].split(",")), tuple(map(int, spec.split(":")[1].split(",")))
        got = tuple(rows[y][x * step:x * step + 3])
        if got != rgb:
            print("pixel %d,%d is %s, not %s" % (x, y, got, rgb))
            ok = False
    sys.exit(0 if ok else 1)


def serve(portfile, log):
    lock = threading.Lock()
    seen = set()

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *args):
            pass

        def note(self, status):
            with lock, open(log, "a") as f:
                f.write("%.3f %s %d\n" % (time.time(), self.path, status))

        def send(self, status, body=b"", kind="image/png", extra=()):
            self.note(status)
            self.send_response(status)
            for k, v in extra:
                self.send_header(k, v)
            if status != 204:
                self.send_header("Content-Type", kind)
                self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def do_GET(self):
            try:
                z, x, y = (int(p) for p in self.path.strip("/").replace(".png", "").split("/"))
            except ValueError:
                return self.send(400, b"bad", "text/plain")
            mode, first = x % 10, self.path not in seen
            with lock:
                seen.add(self.path)
            tile = png(x, y)
            if mode == 1 and first:
                return self.send(429, b"slow down", "text/plain", [("Retry-After", "2")])
            if mode == 2 and first:
                return self.send(503, b"busy", "text/plain")
            if mode == 3:
                return self.send(200, b"<html><body>Tile service moved</body></html>", "image/png")
            if mode in (4, 5, 6):
                self.note(200)
                self.send_response(200)
                self.send_header("Content-Type", "image/png")
                if mode == 6:
                    self.send_header("Transfer-Encoding", "chunked")
                else:
                    self.send_header("Content-Length", str(len(tile)))
                self.end_headers()
                if mode == 4:
                    self.wfile.write(tile[: len(tile) // 2])
                elif mode == 5:
                    self.wfile.flush()
                    time.sleep(8)
                else:
                    self.wfile.write(b"%x\r\n" % len(tile) + tile[: len(tile) // 2])
                self.close_connection = True
                return
            if mode == 7:
                return self.send(200, png(x, y, 300))
            if mode == 8:
                return self.send(404, b"no tile", "text/plain")
            if mode == 9:
                return self.send(204)
            return self.send(200, tile)

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    with open(portfile + ".part", "w") as f:
        f.write(str(server.server_address[1]))
    os.rename(portfile + ".part", portfile)
    threading.Timer(300, server.shutdown).start()
    server.serve_forever()


if __name__ == "__main__":
    if sys.argv[1] == "tiles":
        tiles(sys.argv[2], int(sys.argv[3]) if len(sys.argv) > 3 else 256)
    elif sys.argv[1] == "pixels":
        pixels(sys.argv[2], sys.argv[3])
    else:
        serve(sys.argv[2], sys.argv[3])

#!/usr/bin/env python3
"""The page in a real browser: headless chromium driven through chromedriver's WebDriver
protocol (standard library only). Served plain (one thread) and cross-origin isolated
(threads), the page must show the sample as the native corvath-render draws it, answer a
mouse movement with the frame for those angles, open a picked and a dropped mesh text file and
a picked OBJ with its material library (imported in the page's worker), keep the mesh for a
file it cannot open, download the BMP the native renderer writes, and show
"Errore. 1" for a face announced but never described.

page_in_chromium.py SITE NATIVE_RENDER SERVER_SCRIPT [--bench]
With --bench it only reports the time from loading the page to its first picture.
"""
import base64
import json
import os
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

SITE, NATIVE_RENDER, SERVER_SCRIPT = sys.argv[1:4]
BENCH = "--bench" in sys.argv[4:]
STEP_SECONDS = 30
TRIANGLES = """Named Object: "Tri"\r
Tri-mesh, Vertices: 4     Faces: 2\r
Vertex list:\r
Vertex 0:  X: -200  Y: -150  Z: 0\r
Vertex 1:  X: 250  Y: -100  Z: 40\r
Vertex 2:  X: -50  Y: 220  Z: -30\r
Vertex 3:  X: 180  Y: 160  Z: 90\r
Face list:\r
Face 0:    A:0 B:2 C:1 colore: 255\r
Face 1:    A:1 B:2 C:3 colore: 16711680\r
"""
DROPPED = TRIANGLES.replace("colore: 255", "colore: 65280").replace("Y: 220", "Y: 320")
# Two faces announced, one described: the viewer's "Errore." box names face 1.
UNDESCRIBED = """Tri-mesh, Vertices: 3 Faces: 2
Vertex list:
Vertex 0: X: 0 Y: 0 Z: 0
Vertex 1: X: 100 Y: 0 Z: 0
Vertex 2: X: 0 Y: 100 Z: 0
Face list:
Face 0: A:0 B:2 C:1 colore: 255
"""
NO_TRIANGLES = "Tri-mesh, Vertices: 1 Faces: 0\nVertex list:\nVertex 0: X: 1 Y: 2 Z: 3\n"
# A box in OBJ, its sides coloured by a material library beside it, and a pentagon: another
# format, which the page imports in its worker.
BOX_OBJ = """mtllib box.mtl
v 0 0 0
v 30 0 0
v 0 20 0
v 30 20 0
v 0 0 45
v 30 0 45
v 0 20 45
v 30 20 45
v 15 35 22
usemtl red
f 1 3 4 2
f 5 6 8 7
usemtl green
f 1 2 6 5
f 1 5 7 3
usemtl blue
f 2 4 8 6
f 3 7 9 8 4
"""
BOX_MTL = "newmtl red\nKd 0.9 0.1 0.1\nnewmtl green\nKd 0.1 0.8 0.2\nnewmtl blue\nKd 0.2 0.3 0.9\n"

children = []


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def start(command, **options):
    child = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                             start_new_session=True, **options)
    children.append(child)
    return child


def stop_children():
    for child in children:
        if child.poll() is None:
            os.killpg(child.pid, signal.SIGTERM)
            try:
                child.wait(timeout=5)
            except subprocess.TimeoutExpired:
                os.killpg(child.pid, signal.SIGKILL)


def wait_for_port(port):
    deadline = time.monotonic() + STEP_SECONDS
    while time.monotonic() < deadline:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1):
                return
        except OSError:
            time.sleep(0.1)
    raise RuntimeError(f"nothing listens on port {port}")


class Driver:
    def __init__(self, port, downloads):
        self.base = f"http://127.0.0.1:{port}"
        options = {"binary": shutil.which("chromium") or "/usr/bin/chromium",
                   "args": ["--headless=new", "--no-sandbox", "--disable-gpu",
                            "--disable-dev-shm-usage", "--window-size=800,600",
                            "--no-first-run", "--disable-extensions"],
                   "prefs": {"download.default_directory": downloads,
                             "download.prompt_for_download": False,
                             # A page's second download asks first, unless allowed here.
                             "profile.default_content_setting_values.automatic_downloads": 1}}
        answer = self.call("POST", "/session", {"capabilities": {"alwaysMatch": {
            "browserName": "chrome", "goog:chromeOptions": options}}})
        self.session = f"/session/{answer['sessionId']}"

    def call(self, method, path, body=None):
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(self.base + path, data=data, method=method,
                                         headers={"Content-Type": "application/json"})
        try:
            with urllib.request.urlopen(request, timeout=STEP_SECONDS * 2) as response:
                return json.load(response)["value"]
        except urllib.error.HTTPError as error:
            raise RuntimeError(f"{method} {path}: {error.read().decode(errors='replace')}")

    def run(self, script, *args):
        return self.call("POST", f"{self.session}/execute/sync", {"script": script, "args": list(args)})

    def until(self, script, what, *args):
        deadline = time.monotonic() + STEP_SECONDS
        while time.monotonic() < deadline:
            value = self.run(script, *args)
            if value:
                return value
            time.sleep(0.05)
        raise RuntimeError(f"timed out waiting for {what}")

    def element(self, selector):
        found = self.call("POST", f"{self.session}/element", {"using": "css selector", "value": selector})
        return f"{self.session}/element/{next(iter(found.values()))}"

    def actions(self, *sources):
        self.call("POST", f"{self.session}/actions", {"actions": list(sources)})

    def quit(self):
        try:
            self.call("DELETE", self.session)
        except Exception:
            pass


def native_rgba(mesh, width, height, angles, folder):
    """The native frame as RGBA rows, top first, and its BMP bytes."""
    out = os.path.join(folder, "native.bmp")
    subprocess.run([NATIVE_RENDER, "--mesh", mesh, "--size", f"{width}x{height}", "--angles",
                    ",".join(str(a) for a in angles), "--seed", "1", "--out", out], check=True,
                   capture_output=True, timeout=120)
    with open(out, "rb") as file:
        bmp = file.read()
    offset = struct.unpack_from("<I", bmp, 10)[0]
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(height):
        row = bmp[offset + (height - 1 - y) * stride:][:width * 3]
        rgba = bytearray(width * 4)
        rgba[0::4], rgba[1::4], rgba[2::4] = row[2::3], row[1::3], row[0::3]
        rgba[3::4] = b"\xff" * width
        rows.append(bytes(rgba))
    return b"".join(rows), bmp


CANVAS = """const c = document.getElementById('view');
const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
let s = ''; for (let i = 0; i < d.length; i += 32768) s += String.fromCharCode(...d.subarray(i, i + 32768));
return btoa(s);"""


def canvas(driver):
    return base64.b64decode(driver.run(CANVAS))


def check_picture(driver, mesh, size, angles, folder, what):
    expected, bmp = native_rgba(mesh, *size, angles, folder)
    shown = canvas(driver)
    if shown != expected:
        differing = sum(1 for i in range(0, len(shown), 4) if shown[i:i + 4] != expected[i:i + 4])
        raise AssertionError(f"{what}: {differing} pixels differ from the native frame")
    return bmp


def move_pointer(driver, x, y):
    driver.actions({"type": "pointer", "id": "mouse", "parameters": {"pointerType": "mouse"},
                    "actions": [{"type": "pointerMove", "x": x, "y": y, "origin": "viewport",
                                 "duration": 0}]})
    time.sleep(0.2)


def drop(driver, name, text):
    driver.run("""const file = new File([arguments[1]], arguments[0]);
const transfer = new DataTransfer(); transfer.items.add(file);
document.dispatchEvent(new DragEvent('drop', {dataTransfer: transfer, bubbles: true, cancelable: true}));""",
               name, text)


def downloaded(downloads, name):
    target = os.path.join(downloads, name)
    deadline = time.monotonic() + STEP_SECONDS
    while not os.path.exists(target) and time.monotonic() < deadline:
        time.sleep(0.1)
    time.sleep(0.3)  # the browser writes the file under another name first, then renames it
    with open(target, "rb") as file:
        return file.read()


def title_is(driver, title):
    driver.until("return document.title === arguments[0]", f"the title {title}", title)


def box_text(driver):
    text = driver.until("const b = document.getElementById('box'); "
                        "return b.open && document.getElementById('box-text').textContent",
                        "the message box")
    driver.call("POST", driver.element("#box-ok") + "/click", {})
    driver.until("return !document.getElementById('box').open", "the box to close")
    return text


def check_page(driver, url, threads, folder, downloads, sample):
    driver.call("POST", f"{driver.session}/url", {"url": url})
    driver.until("return document.body.dataset.ready === '1'", "the page to start")
    width, height = driver.run("const c = document.getElementById('view'); return [c.width, c.height]")
    size = (width, height)
    assert driver.run("return document.title") == "3D-Corvath 3d.asc"
    shown_threads = driver.run("return document.body.dataset.threads")
    cores = driver.run("return navigator.hardwareConcurrency || 1")
    assert (shown_threads != "1") == (threads and cores > 1), f"threads: {shown_threads}"
    check_picture(driver, sample, size, (210, 7, 90), folder, "the first frame")

    # The pointer's position is the angle: x turns about the vertical axis, y about the others.
    x, y = 123, 45
    move_pointer(driver, x, y)
    angles = (y, x, y)
    check_picture(driver, sample, size, angles, folder, "the turned frame")

    picked = os.path.join(folder, "picked.asc")
    with open(picked, "w", newline="") as file:
        file.write(TRIANGLES)
    driver.call("POST", driver.element("#pick") + "/value", {"text": picked})
    title_is(driver, "3D-Corvath picked.asc")
    check_picture(driver, picked, size, angles, folder, "the picked file")

    dropped = os.path.join(folder, "dropped.asc")
    with open(dropped, "w", newline="") as file:
        file.write(DROPPED)
    drop(driver, "dropped.asc", DROPPED)
    title_is(driver, "3D-Corvath dropped.asc")
    check_picture(driver, dropped, size, angles, folder, "the dropped file")

    # A file that cannot be shown: the box says why, and the mesh shown stays.
    drop(driver, "empty.asc", NO_TRIANGLES)
    text = box_text(driver)
    assert text.endswith("empty.asc: holds no triangles"), text
    assert driver.run("return document.title") == "3D-Corvath dropped.asc"
    check_picture(driver, dropped, size, angles, folder, "the mesh kept")

    # Another format, picked with its material library: imported in the worker and placed as
    # the desktop viewer places it. A damaged one says so, and the mesh shown stays.
    picked_obj = os.path.join(folder, "box.obj")
    for name, text in (("box.obj", BOX_OBJ), ("box.mtl", BOX_MTL)):
        with open(os.path.join(folder, name), "w") as file:
            file.write(text)
    driver.call("POST", driver.element("#pick") + "/value",
                {"text": os.path.join(folder, "box.mtl") + "\n" + picked_obj})
    title_is(driver, "3D-Corvath box.obj")
    check_picture(driver, picked_obj, size, angles, folder, "the picked OBJ")
    drop(driver, "damaged.glb", "glTF\x02\x00\x00\x00 cut short")
    text = box_text(driver)
    assert text == "damaged.glb: not a readable .glb file", text
    assert driver.run("return document.title") == "3D-Corvath box.obj"
    check_picture(driver, picked_obj, size, angles, folder, "the OBJ kept")
    # F5 opens the model shown again: its objects stay with the page's viewer.
    driver.actions({"type": "key", "id": "keys", "actions": [
        {"type": "keyDown", "value": "\ue035"}, {"type": "keyUp", "value": "\ue035"}]})
    time.sleep(0.3)
    assert not driver.run("return document.getElementById('box').open"), box_text(driver)
    check_picture(driver, picked_obj, size, angles, folder, "the OBJ read again")

    # Ctrl+S downloads the picture savePicture writes: the native frame's BMP.
    drop(driver, "dropped.asc", DROPPED)
    title_is(driver, "3D-Corvath dropped.asc")
    for name in os.listdir(downloads):
        os.remove(os.path.join(downloads, name))
    driver.actions({"type": "key", "id": "keys", "actions": [
        {"type": "keyDown", "value": "\ue009"}, {"type": "keyDown", "value": "s"},
        {"type": "keyUp", "value": "s"}, {"type": "keyUp", "value": "\ue009"}]})
    expected = check_picture(driver, dropped, size, angles, folder, "the saved frame")
    assert downloaded(downloads, "3d.bmp") == expected, "the downloaded 3d.bmp differs"
    # The button saves again, over the first picture (the file system's mask lets it).
    driver.call("POST", driver.element("#save") + "/click", {})
    assert downloaded(downloads, "3d (1).bmp") == expected, "the second 3d.bmp differs"

    # Opened first (?mesh=), in tables that held nothing before, a face announced and never
    # described raises the box the desktop viewer raises; later files' undescribed faces keep
    # what the tables held, there as here.
    driver.call("POST", f"{driver.session}/url", {"url": url + "?mesh=undescribed.asc"})
    assert box_text(driver) == "Errore. 1"
    assert driver.run("return document.title") == "3D-Corvath undescribed.asc"


def first_picture_ms(driver, url):
    driver.call("POST", f"{driver.session}/url", {"url": url})
    return float(driver.until("return document.body.dataset.firstPictureMs", "the first picture"))


def main():
    sample = os.path.join(SITE, "3d.asc")
    driver_port, plain_port, isolated_port = free_port(), free_port(), free_port()
    with tempfile.TemporaryDirectory(prefix="corvath-page-") as folder:
        downloads = os.path.join(folder, "downloads")
        served = os.path.join(folder, "site")
        os.mkdir(downloads)
        os.mkdir(served)
        # The site as built, and beside it the files the page is asked to open with ?mesh=.
        for name in os.listdir(SITE):
            os.symlink(os.path.abspath(os.path.join(SITE, name)), os.path.join(served, name))
        with open(os.path.join(served, "undescribed.asc"), "w") as file:
            file.write(UNDESCRIBED)
        start([sys.executable, "-m", "http.server", "-b", "127.0.0.1", "-d", served,
               str(plain_port)])
        start([sys.executable, SERVER_SCRIPT, "--port", str(isolated_port), "--directory", served])
        start(["chromedriver", f"--port={driver_port}"])
        for port in (driver_port, plain_port, isolated_port):
            wait_for_port(port)
        driver = Driver(driver_port, downloads)
        try:
            pages = [(f"http://127.0.0.1:{plain_port}/index.html", False),
                     (f"http://127.0.0.1:{isolated_port}/index.html", True)]
            if BENCH:
                for url, threads in pages:
                    times = sorted(first_picture_ms(driver, url) for _ in range(5))
                    print(f"first picture, {'threads' if threads else 'one thread'}: "
                          f"median {times[2]:.0f} ms (least {times[0]:.0f}, most {times[-1]:.0f})")
                return 0
            for url, threads in pages:
                check_page(driver, url, threads, folder, downloads, sample)
                print(f"ok   {'threads' if threads else 'one thread'}: {url}")
        finally:
            driver.quit()
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    finally:
        stop_children()

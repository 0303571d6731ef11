#!/usr/bin/env python3
"""The running program driven as a person drives it: real mouse clicks and key presses (xdotool)
at the places of the main window's controls, then a look at "parameters.xml", the log and the
window's picture.

The program runs under Wine with the stand-in simulator at Los Angeles (so its run reaches the
main loop, whose data cycle serves what the window asks of the worker) and without RealTraffic
on this PC; before that, once with a simulator that never comes. Their folders and pictures are
kept below build/test-artifacts/window-input and window-input-waiting.

    window_input_test.py --build BUILD_DIR --source SOURCE_DIR
"""
import argparse
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import time
import xml.etree.ElementTree as ET

FAILURES = []


def check(condition, what):
    print(f"{time.monotonic():.1f} " + ("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        FAILURES.append(what)


def wait_for(condition, seconds=30.0):
    """Polls condition until it holds or the generous limit passes (no timing is asserted)."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if condition():
            return True
        time.sleep(0.1)
    return condition()


def winepath(path):
    # Wine's Z: drive is the Unix root: the Windows form of a path needs no Wine process (a
    # winepath run failed once in CI while another Wine session ran on the machine).
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def xdotool(*args):
    return subprocess.run(["xdotool", *args], capture_output=True, text=True).stdout.strip()


class Program:
    def __init__(self, build, source, name="window-input", sim_after_seconds=0):
        self.root = os.path.join(build, "test-artifacts", name)
        shutil.rmtree(self.root, ignore_errors=True)
        self.folder = os.path.join(self.root, "program")
        shutil.copytree(os.path.join(build, "stage"), self.folder)
        # The stand-in simulator, as the program loads the SDK's library: from its own folder.
        shutil.copy(os.path.join(build, "stand_in", "SimConnect.dll"), self.folder)
        appdata = os.path.join(self.root, "appdata")
        for sub in ("Roaming/Quillmarsh", "Local"):
            os.makedirs(os.path.join(appdata, sub))
        packages = os.path.join(self.root, "msfs")
        os.makedirs(os.path.join(packages, "Official"))
        # An installed AI package, so that the automatic livery scan finds liveries.
        shutil.copytree(os.path.join(source, "tools", "run", "community"), os.path.join(packages, "Community"))
        self.settings = os.path.join(appdata, "Roaming", "Quillmarsh", "parameters.xml")
        self.site = self.start_site(build, source)
        with open(self.settings, "w", encoding="utf-8") as f:
            f.write('<?xml version="1.0"?>\n<parameters>\n'
                    f'\t<parameter name="MSFS_INSTALL_PATH" value="{winepath(packages)}" />\n'
                    f'\t<parameter name="DOWNLOAD_SITE" value="http://127.0.0.1:{self.site_port}/" />\n'
                    '</parameters>\n')
        with open(os.path.join(source, "tools", "run", "klax_scenario.json"), encoding="utf-8") as f:
            scenario = json.load(f)
        scenario["presentAfterSeconds"] = sim_after_seconds
        scenario_path = os.path.join(self.root, "scenario.json")
        with open(scenario_path, "w", encoding="utf-8") as f:
            json.dump(scenario, f)
        self.user = (scenario["user"]["latitude"], scenario["user"]["longitude"])
        env = dict(os.environ, QUILLMARSH_APPDATA_ROOT=winepath(appdata),
                   QUILLMARSH_SIM_SCENARIO=winepath(scenario_path))
        env.pop("QUILLMARSH_SIM_JOURNAL", None)
        self.process = subprocess.Popen(["wine", "Quillmarsh.exe"], cwd=self.folder, env=env,
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        self.window = None
        self.origin = (0, 0)

    def start_site(self, build, source):
        """The download site: the running version (no update offered) and the type data base."""
        root = os.path.join(self.root, "site")
        os.makedirs(os.path.join(root, "release"))
        os.makedirs(os.path.join(root, "MSFS"))
        with open(os.path.join(source, "CMakeLists.txt"), encoding="utf-8") as f:
            version = re.search(r"project\(Quillmarsh VERSION ([0-9.]+)", f.read()).group(1)
        with open(os.path.join(root, "release", "version.json"), "w", encoding="utf-8") as f:
            f.write(version + "\n")
        shutil.copy(os.path.join(build, "data", "dbase.zip"), os.path.join(root, "MSFS", "dbase.zip"))
        port_file = os.path.join(self.root, "site.port")
        site = subprocess.Popen(["wine", os.path.join(build, "tools", "bin", "qm_httpd.exe"),
                                 "--root", winepath(root), "--port-file", winepath(port_file)],
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        self.site_port = None
        if wait_for(lambda: os.path.exists(port_file) and os.path.getsize(port_file) > 0, 30):
            with open(port_file, encoding="utf-8") as f:
                self.site_port = int("".join(c for c in f.read() if c.isdigit()))
        return site

    def log(self):
        try:
            with open(os.path.join(self.folder, "Log.txt"), encoding="utf-8", errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    def setting(self, key):
        try:
            root = ET.parse(self.settings).getroot()
        except (OSError, ET.ParseError):
            return None
        for p in root.iter("parameter"):
            if p.get("name") == key:
                return p.get("value")
        return None

    def find_window(self):
        def found():
            ids = xdotool("search", "--all", "--onlyvisible", "--pid", str(self.process.pid), "--name",
                          "^Quillmarsh$").split()
            if ids:
                self.window = ids[0]
            return bool(ids)
        if not wait_for(found):
            return False
        shape = dict(line.split("=", 1) for line in xdotool("getwindowgeometry", "--shell", self.window).splitlines())
        self.origin = (int(shape["X"]), int(shape["Y"]))
        return True

    def click(self, x, y):
        """A left click at client coordinates of the main window."""
        # No --sync: it waits for a motion event, which never comes when the pointer is there.
        xdotool("mousemove", str(self.origin[0] + x), str(self.origin[1] + y))
        time.sleep(0.1)
        xdotool("click", "1")
        time.sleep(0.2)

    def type_into(self, x, y, text):
        """Clicks into the edit, removes what it holds, types text and presses Enter."""
        self.click(x, y)
        xdotool("key", "--delay", "20", "End", *(["BackSpace"] * 12))
        if text:
            xdotool("type", "--delay", "40", text)
        xdotool("key", "Return")
        time.sleep(0.3)

    def wake_main_loop(self):
        """One traffic datagram near the user: the run's wait for the first traffic ends."""
        line = ("RTTFC,11000001,{:.6f},{:.6f},3000,0,0,270,300,AAL42,A320,N42AA,LAX,PHX,0,,,adsb_icao,3000,,-1,"
                ",,-1,,300,0,none,A3,,,,,,,,,,,,,,0").format(self.user[0] + 0.05, self.user[1])
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            s.sendto(line.encode(), ("127.0.0.1", 49005))

    def picture(self, name):
        path = os.path.join(self.root, name)
        subprocess.run(["import", "-window", self.window, path], capture_output=True)
        return path


def pixel(png, x, y):
    out = subprocess.run(["convert", png, "-format", f"%[fx:int(255*r)],%[fx:int(255*g)],%[fx:int(255*b)]",
                          "-crop", f"1x1+{x}+{y}", "info:"], capture_output=True, text=True).stdout
    return tuple(int(v) for v in out.strip().split(",")) if out.strip() else None


def yellow_pixels(png, box):
    """The pure yellow pixels (the status line's text) inside box = (x, y, width, height)."""
    x, y, w, h = box
    out = subprocess.run(["convert", png, "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-fill", "black", "+opaque",
                          "rgb(255,255,0)", "-format", "%[fx:int(mean*w*h*3/2+0.5)]", "info:"],
                         capture_output=True, text=True).stdout.strip()
    return int(out) if out.isdigit() else -1


def while_waiting_for_the_simulator(build, source):
    """The simulator never comes: the block edit answers all the same, on the status line and in
    the saved settings, while the destination edit stays closed until a park airport is chosen;
    the window's picture has the layout's size."""
    program = Program(build, source, "window-input-waiting", sim_after_seconds=100000)
    try:
        check(program.find_window(), "the main window appears (no simulator)")
        if FAILURES:
            return
        check(wait_for(lambda: "Waiting for MSFS 2020 ..." in program.log()), "the program waits for the simulator")
        status_band = (0, 449, 880, 27)
        before = yellow_pixels(program.picture("waiting-before.png"), status_band)
        program.type_into(260, 267, "abc12")
        check(wait_for(lambda: program.setting("BLOCK_CALLSIGN") == "ABC12", 5),
              f'the callsign is saved at once in upper case (file has {program.setting("BLOCK_CALLSIGN")})')
        check(wait_for(lambda: 'live aircraft with callsign "ABC12" will be blocked' in program.log(), 5),
              "the blocking is told")
        png = program.picture("waiting-blocked.png")
        after = yellow_pixels(png, status_band)
        check(after > 0 and after != before, f"the status line shows the answer ({before} -> {after} text pixels)")
        program.type_into(240, 351, "ksfo")
        # The block edit's next answer comes after whatever the destination's typing did.
        program.type_into(260, 267, "dlh4ab")
        check(wait_for(lambda: program.setting("BLOCK_CALLSIGN") == "DLH4AB", 5), "the block edit answers again")
        check(program.setting("DESTINATION") != "KSFO" and "destination" not in program.log(),
              f'the destination edit is closed (file has {program.setting("DESTINATION")})')
        size = subprocess.run(["identify", "-format", "%w %h", png], capture_output=True, text=True).stdout.strip()
        check(size == "880 476", f"the picture is the layout's client area ({size})")
        check(pixel(png, 879, 250) == (153, 204, 255), "the parameter band reaches the right edge")
        check(pixel(png, 879, 475) != (0, 0, 0), "the status band is the bottom row")
        program.click(600, 60)
        xdotool("key", "alt+F4")
        try:
            code = program.process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            code = None
        check(code == 0, f"the program ends with exit code 0 ({code})")
        check("Exiting: USER CLOSED PROGRAM" in program.log(), "the log says the user closed the program")
    finally:
        if program.process.poll() is None:
            program.process.kill()
        program.site.kill()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--source", required=True)
    args = parser.parse_args()
    while_waiting_for_the_simulator(os.path.abspath(args.build), os.path.abspath(args.source))
    program = Program(os.path.abspath(args.build), os.path.abspath(args.source))
    try:
        check(program.find_window(), "the main window appears")
        if FAILURES:
            return 1
        # The worker enabled the controls for the run; the run then waits for the first traffic.
        check(wait_for(lambda: "RealTraffic not detected at this PC" in program.log()), "the start is done")
        check(wait_for(lambda: "Traffic Reader connected" in program.log()), "the readers listen")
        program.wake_main_loop()

        # A check box: LOG (x 652, row 147) off, stored at once.
        program.click(658, 155)
        check(wait_for(lambda: program.setting("LOG") == "false", 5), "a click on the LOG box stores false")

        # The MAX_LIVE edit (x 601, row 315, 34 wide): what is typed, then Enter.
        cases = [("12ab", "12", None), ("", "-1", None), ("500", "300", None),
                 ("abc", "300", "invalid input: abc"), ("3.3", "3", None),
                 ("3", "3", "Same MAX_LIVE value 3, no changes made")]
        for typed, stored, logged in cases:
            program.type_into(618, 323, typed)
            check(wait_for(lambda: program.setting("MAX_LIVE") == stored, 5),
                  f'MAX_LIVE "{typed}" is stored as {stored} (file has {program.setting("MAX_LIVE")})')
            if logged:
                check(wait_for(lambda: logged in program.log(), 5), f'the log says "{logged}"')

        # Block a callsign (x 217, row 259): stored at once, "Unblock" (x 323, row 257, 70 wide)
        # enabled, whose click ends the blocking.
        program.type_into(260, 267, "dlh4ab")
        check(wait_for(lambda: program.setting("BLOCK_CALLSIGN") == "DLH4AB", 20),
              "the typed callsign is blocked in upper case")
        check(wait_for(lambda: 'live aircraft with callsign "DLH4AB" will be blocked' in program.log(), 5),
              "the blocking is told")
        program.click(358, 267)
        check(wait_for(lambda: program.setting("BLOCK_CALLSIGN") == "", 10), 'the "Unblock" button ends it')
        check(wait_for(lambda: 'no more blocking of live aircraft "DLH4AB"' in program.log(), 5),
              "the unblocking is told")

        # The callsign lookup's edit (x 460, row 259) is open once the main loop runs: a callsign
        # that no aircraft has is told on the status line.
        # The block above is answered at once, so the main loop may not run yet: typing into the
        # still disabled edit does nothing, and the typing is tried again.
        told = False
        for _ in range(10):
            program.type_into(500, 267, "xyz123")
            told = wait_for(lambda: 'callsign "XYZ123" is unknown' in program.log(), 3)
            if told:
                break
        check(told, "an unknown callsign is told")

        # The window as the run shows it: the simulator lamp green (connected, flight loaded,
        # title known), the bands in their colours, the status line green.
        png = program.picture("window-running.png")
        check(pixel(png, 411, 100) == (50, 205, 50), f"the simulator lamp is green ({pixel(png, 411, 100)})")
        check(pixel(png, 860, 250) == (153, 204, 255), "the parameter band is light blue")
        check(pixel(png, 860, 470) == (50, 205, 50), "the status band is green")
        check(pixel(png, 300, 28) == (255, 255, 255), "the header ends in a white line")
        print(f"picture: {png}")

        # Close as a user does; the run ends with USER CLOSED PROGRAM and the position is stored.
        program.click(600, 60)
        xdotool("key", "alt+F4")
        try:
            code = program.process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            code = None
        check(code == 0, f"the program ends with exit code 0 ({code})")
        check("Exiting: USER CLOSED PROGRAM" in program.log(), "the log says why the run ended")
        check(program.setting("MAIN_WINDOW_X") is not None, "the window position is stored")
    finally:
        if program.process.poll() is None:
            program.process.kill()
        program.site.kill()
    if FAILURES:
        print(f"{len(FAILURES)} failed; the program's log is {os.path.join(program.folder, 'Log.txt')}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())

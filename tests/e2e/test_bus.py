"""The player on a private session bus, driven as a desktop's media keys and
sound menu drive it: each call does what its key does, on the screen too."""
import os
import re
import shutil
import signal
import struct
import subprocess
import tempfile
import time
import unittest
import urllib.parse

from harness import E2ETestCase, current_seconds, long_song, _require_tool

NAME = "org.mpris.MediaPlayer2.folderplay"
PATH = "/org/mpris/MediaPlayer2"
PLAYER = "org.mpris.MediaPlayer2.Player"

BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir={sockets}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""


class SessionBus(E2ETestCase):
    def setUp(self):
        super().setUp()
        _require_tool("dbus-daemon")
        _require_tool("dbus-send")
        sockets = tempfile.mkdtemp(prefix="mp3-bus-")
        self.addCleanup(shutil.rmtree, sockets, ignore_errors=True)
        config = os.path.join(sockets, "bus.conf")
        with open(config, "w") as f:
            f.write(BUS_CONFIG.format(sockets=sockets))
        out = subprocess.run(["dbus-daemon", f"--config-file={config}", "--fork",
                              "--print-address=1", "--print-pid=1"],
                             check=True, capture_output=True, text=True).stdout.split()
        self.address, pid = out[0], int(out[1])
        self.addCleanup(os.kill, pid, signal.SIGTERM)

    def send(self, *args, check=True):
        """dbus-send on the private bus; its printed reply."""
        res = subprocess.run(["dbus-send", "--session", "--print-reply", *args],
                             env={**os.environ, "DBUS_SESSION_BUS_ADDRESS": self.address},
                             capture_output=True, text=True, timeout=10)
        if check and res.returncode != 0:
            raise AssertionError(f"dbus-send {args} failed: {res.stderr}")
        return res.stdout + res.stderr

    def call(self, method, *args, check=True):
        return self.send(f"--dest={NAME}", PATH, f"{PLAYER}.{method}", *args, check=check)

    def get(self, prop):
        return self.send(f"--dest={NAME}", PATH, "org.freedesktop.DBus.Properties.Get",
                         f"string:{PLAYER}", f"string:{prop}")

    def set(self, prop, value, check=True):
        return self.send(f"--dest={NAME}", PATH, "org.freedesktop.DBus.Properties.Set",
                         f"string:{PLAYER}", f"string:{prop}", f"variant:{value}", check=check)

    def wait_for_name(self):
        deadline = time.monotonic() + 10
        while NAME not in self.send("--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                                    "org.freedesktop.DBus.ListNames"):
            self.assertLess(time.monotonic(), deadline, f"{NAME} never came on the bus")
            time.sleep(0.1)

    def test_calls_act_as_their_keys(self):
        music = self.folder("music", ["Alpha \u00e9.mp3", "Beta.mp3"],
                            long=["Alpha \u00e9.mp3", "Beta.mp3"])
        self.term.start_player("env", music,
                               (f"DBUS_SESSION_BUS_ADDRESS={self.address}", self.binary))
        self.term.wait_text(" TotalSong = 2", 1, 20, timeout=30)
        self.wait_playing("Alpha \u00e9")
        self.wait_for_name()

        metadata = self.get("Metadata")
        self.assertIn('string "Alpha \u00e9"', metadata)
        url = "file://" + urllib.parse.quote(os.path.realpath(music)) + "/Alpha%20%C3%A9.mp3"
        self.assertIn(f'string "{url}"', metadata)
        self.assertRegex(metadata, r'"mpris:length"\s+variant\s+int64 40\d{6}')

        self.call("PlayPause")
        self.term.wait_text(" Paused -> Alpha \u00e9 ", 1, 23)
        self.assertIn('"Paused"', self.get("PlaybackStatus"))
        self.assertIn("Refused", self.call("Next", check=False))  # as a key while paused
        self.call("PlayPause")
        self.wait_playing("Alpha \u00e9")

        self.call("Next")
        self.wait_playing("Beta")
        metadata = self.get("Metadata")
        self.assertIn('string "Beta"', metadata)
        track = re.search(r'object path "([^"]+)"', metadata).group(1)
        self.assertIn("Refused", self.call("SetPosition", f"objpath:{track}",
                                           "int64:41000000", check=False))
        self.call("SetPosition", f"objpath:{track}", "int64:30000000")
        self.term.wait_until(lambda s: (current_seconds(s) or 0) >= 30,
                             "the jump to 00:30")

        self.set("Volume", "double:0.5")
        self.term.wait_until(lambda s: s.text(50, 19).endswith(", 50%"), "the volume at 50%")
        self.assertIn("double 0.5", self.get("Volume"))

        self.set("Shuffle", "boolean:true")
        self.set("LoopStatus", "string:Track")
        self.term.wait_text("Shuffle, Repeat song", 25, 16)
        self.assertIn("boolean true", self.get("Shuffle"))
        self.assertIn('"Track"', self.get("LoopStatus"))
        self.assertIn("Refused", self.set("LoopStatus", "string:Forever", check=False))
        self.term.keys("t")
        self.term.wait_text("Shuffle, Repeat off", 25, 16)
        self.assertIn('"None"', self.get("LoopStatus"))

        self.send(f"--dest={NAME}", PATH, "org.mpris.MediaPlayer2.Quit")
        self.assertEqual(self.term.wait_exit(), 1)
        with open(os.path.join(os.environ["XDG_STATE_HOME"], "folderplay", "state")) as f:
            self.assertIn("\nvolume 500\n", f.read())
        for name in ("length.txt", "number.txt", "names.txt"):
            self.assertTrue(os.path.exists(os.path.join(music, name)), name)

    def test_notices_name_each_song_change_once(self):
        env = {**os.environ, "DBUS_SESSION_BUS_ADDRESS": self.address}
        service = subprocess.Popen([os.environ["MP3_NOTICE_SERVICE"]], env=env,
                                   stdout=subprocess.PIPE, text=True)
        self.addCleanup(service.wait)
        self.addCleanup(service.kill)
        self.assertEqual(service.stdout.readline(), "ready\n")
        music = self.folder("music", ["Song1.mp3", "Song3.mp3"], long=["Song1.mp3", "Song3.mp3"])
        frames = b"".join(id + struct.pack(">IH", len(text) + 2, 0) + b"\3" + text + b"\0"
                          for id, text in ((b"TIT2", b"Zwei"), (b"TPE1", "\u00c4rtist".encode()),
                                           (b"TALB", b"Album")))
        with open(os.path.join(music, "Song2.mp3"), "wb") as f, open(long_song(), "rb") as s:
            f.write(b"ID3\4\0\0" + struct.pack(">I", len(frames)) + frames + s.read())
        self.term.start_player("env", music,
                               (f"DBUS_SESSION_BUS_ADDRESS={self.address}", self.binary))
        self.wait_playing("Song1")
        self.wait_for_name()
        self.term.type("N")
        self.term.wait_text("Desktop notices on", 1, 25)
        self.call("Next")
        self.wait_playing("Song2")
        self.term.wait_text("\u00c4rtist - Zwei", 25, 17)
        metadata = self.get("Metadata")
        for text in ('string "Zwei"', 'string "\u00c4rtist"', 'string "Album"'):
            self.assertIn(text, metadata)
        self.call("Seek", "int64:5000000")  # a jump, a pause: no change of song
        self.call("PlayPause")
        self.term.wait_text(" Paused -> Song2 ", 1, 23)
        self.call("PlayPause")
        self.call("Next")
        self.wait_playing("Song3")
        self.term.type("N")
        self.term.wait_text("Desktop notices off", 1, 25)
        self.call("Previous")
        self.wait_playing("Song2")
        self.send(f"--dest={NAME}", PATH, "org.mpris.MediaPlayer2.Quit")
        self.term.wait_exit()
        service.kill()
        self.assertEqual(service.stdout.read().splitlines(),
                         ["0 \u00c4rtist - Zwei", "1 Song3"])


if __name__ == "__main__":
    unittest.main()

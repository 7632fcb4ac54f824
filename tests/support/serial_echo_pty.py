#!/usr/bin/env python3
"""Runs a test program against a pseudo-terminal whose far end echoes every byte.

    serial_echo_pty.py LINK PORT PROGRAM [ARGS...]

LINK (may be empty) becomes a symbolic link to the slave device, for instance
$WINEPREFIX/dosdevices/com77 so that a Windows program under Wine sees the terminal as COM77.
PORT (may be empty: the slave's path) is handed to the program in KALMO_SERIAL_ECHO_PORT.
Example: serial_echo_pty.py "$WINEPREFIX/dosdevices/com77" COM77 wine64 os_serial_test.exe
"""
import os
import select
import subprocess
import sys
import time

master, slave = os.openpty()
path = os.ttyname(slave)
os.close(slave)
link = sys.argv[1]
if link:
    if os.path.lexists(link):
        os.unlink(link)
    os.symlink(path, link)
env = dict(os.environ)
env["KALMO_SERIAL_ECHO_PORT"] = sys.argv[2] or path
child = subprocess.Popen(sys.argv[3:], env=env)
while child.poll() is None:
    ready, _, _ = select.select([master], [], [], 0.1)
    if ready:
        try:
            os.write(master, os.read(master, 1024))
        except OSError:  # no one has the slave open right now
            time.sleep(0.05)
if link:
    os.unlink(link)
sys.exit(child.returncode)

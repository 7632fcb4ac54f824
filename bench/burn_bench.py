#!/usr/bin/env python3
"""Burn benchmark: kalmo burns and verifies a 32 KiB image through the simulator.

Prints kalmo's wall and CPU time against the bound the wire sets (every byte both ways at 10 bits
a byte plus the page-write times), then the same unpaced against its floor of one 50 ms read step
for each read, then how long a whole process takes to load a 1 MiB image's HEX file
(bench/hexfile_load, built with -DKALMO_BENCH=ON), beside objcopy on the same file. Where avrdude
is installed, it also writes and verifies the same image through the same paced line with its
AVR109 client, for comparison.

    python3 bench/burn_bench.py [build folder] [--load-only]
"""
import contextlib
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

BAUD = 19200
BLOCK = 128
PAGE_WRITE_MS = 4.5
IMAGE_SIZE = 32 * 1024


def hex_text(image):
    lines, segment = [], 0
    for a in range(0, len(image), 16):
        if a >> 16 != segment:
            segment = a >> 16
            body = bytes([2, 0, 0, 4, segment >> 8, segment & 0xFF])
            lines.append(":" + body.hex().upper() + "%02X" % ((-sum(body)) & 0xFF))
        chunk = image[a:a + 16]
        body = bytes([len(chunk), (a >> 8) & 0xFF, a & 0xFF, 0]) + chunk
        lines.append(":" + body.hex().upper() + "%02X" % ((-sum(body)) & 0xFF))
    return "\r\n".join(lines + [":00000001FF"]) + "\r\n"


def wire_bound_s(size):
    blocks = -(-size // BLOCK)
    to_device = 1 + 1 + 1 + 3 + blocks * 4 + size + 3 + blocks * 4 + 1   # P b e A B.. data A g.. L
    from_device = 1 + 3 + 1 + 1 + blocks + 1 + size + 1                  # CRs, Y hi lo, read-back
    return (to_device + from_device) * 10 / BAUD + blocks * PAGE_WRITE_MS / 1000


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


@contextlib.contextmanager
def simulator(build, sim_options):
    """A running simulator for one burn; gives the path of its port."""
    sim = subprocess.Popen([os.path.join(build, "sim", "kalmo-sim")] + sim_options, stdout=subprocess.PIPE)
    try:
        yield sim.stdout.readline().decode().strip()
    finally:
        sim.terminate()
        sim.wait()


def burn(build, hex_path, sim_options):
    with simulator(build, sim_options) as port:
        env = dict(os.environ, KALMO_PORT=port, KALMO_DEBUG_PORT="1")
        cpu_before = children_cpu()
        start = time.monotonic()
        result = subprocess.run([os.path.join(build, "kalmo"), "-b", hex_path], env=env,
                                stdout=subprocess.PIPE, stdin=subprocess.DEVNULL)
        wall = time.monotonic() - start
        cpu = children_cpu() - cpu_before
    if result.returncode != 0:
        sys.exit("burn failed: " + result.stdout.decode("latin-1"))
    return wall, cpu


def avrdude_burn(build, hex_path, sim_options):
    """Wall time of avrdude's AVR109 client writing and verifying hex_path, or None without avrdude."""
    avrdude = shutil.which("avrdude")
    if not avrdude:
        return None
    with simulator(build, sim_options) as port:
        start = time.monotonic()
        result = subprocess.run([avrdude, "-q", "-q", "-c", "avr109", "-p", "m328p", "-P", port, "-b", str(BAUD),
                                 "-U", "flash:w:%s:i" % hex_path], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                stdin=subprocess.DEVNULL)
        wall = time.monotonic() - start
    if result.returncode != 0:
        sys.exit("avrdude failed: " + result.stdout.decode("latin-1"))
    return wall


def timed_runs(command, runs=11):
    """Wall times in ms of whole runs of command; the first run warms the file cache."""
    times = []
    for _ in range(runs + 1):
        start = time.monotonic()
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
        times.append((time.monotonic() - start) * 1000)
    return times[1:]


def hex_load(build, work):
    loader = os.path.join(build, "bench", "hexfile_load")
    if not os.path.exists(loader):
        print("1 MiB HEX load: %s not built (configure with -DKALMO_BENCH=ON)" % loader)
        return
    image = bytes((i * 7 + (i >> 8)) & 0xFF for i in range(1024 * 1024))
    hex_path = os.path.join(work, "large.hex")
    with open(hex_path, "w", newline="") as f:
        f.write(hex_text(image))
    size = os.path.getsize(hex_path)
    times = timed_runs([loader, hex_path])
    print("1 MiB HEX load (%.2f MB of text), whole process: median %.1f ms, best %.1f ms"
          % (size / 1e6, statistics.median(times), min(times)))
    objcopy = shutil.which("objcopy")
    if objcopy:
        times = timed_runs([objcopy, "-I", "ihex", "-O", "binary", hex_path, os.path.join(work, "large.bin")])
        print("  objcopy on the same file: median %.1f ms, best %.1f ms" % (statistics.median(times), min(times)))


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    build = args[0] if args else "build/native"
    image = bytes((i * 131 + 7) & 0xFF for i in range(IMAGE_SIZE))
    with tempfile.TemporaryDirectory() as work:
        if "--load-only" in sys.argv:
            hex_load(build, work)
            return
        hex_path = os.path.join(work, "image.hex")
        with open(hex_path, "w", newline="") as f:
            f.write(hex_text(image))

        bound = wire_bound_s(IMAGE_SIZE)
        paced = ["--baud", str(BAUD), "--page-write-ms", str(PAGE_WRITE_MS), "--block-size", str(BLOCK)]
        wall, cpu = burn(build, hex_path, paced)
        print("paced 19200 baud, 32 KiB, block 128, page write 4.5 ms:")
        print("  wall %.2f s, wire bound %.2f s, ratio %.3f" % (wall, bound, wall / bound))
        print("  kalmo CPU %.3f s = %.2f%% of wall" % (cpu, 100 * cpu / wall))
        other = avrdude_burn(build, hex_path, paced)
        if other is None:
            print("  avrdude -c avr109 on the same line: not installed")
        else:
            print("  avrdude -c avr109 on the same line: wall %.2f s, ratio %.3f" % (other, other / bound))

        reads = 1 + 1 + 1 + 1 + 2 * (IMAGE_SIZE // BLOCK) + 1 + 1   # P b e A B.. A g.. L
        floor = reads * 0.050
        wall, cpu = burn(build, hex_path, ["--block-size", str(BLOCK)])
        print("unpaced: wall %.2f s, floor of %d reads x 50 ms %.2f s, ratio %.3f" % (wall, reads, floor, wall / floor))

        hex_load(build, work)

if __name__ == "__main__":
    main()

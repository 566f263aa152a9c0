"""Runs examples/python/readwrite.py against an orvasim that it starts, then
once more after stopping it, where the example must report the refused
connection through OrvaError.

    run_python_example.py ORVASIM LIBRARY EXAMPLE ADDRESS
"""

import os
import subprocess
import sys
import time


def fail(message):
    print(f"FAIL: {message}")
    sys.exit(1)


def run_example(example, library, address):
    env = dict(os.environ, ORVANET_LIBRARY=library, PYTHONDONTWRITEBYTECODE="1")
    return subprocess.run([sys.executable, example, address], env=env, capture_output=True, text=True, timeout=60)


def main():
    orvasim, library, example, address = sys.argv[1:5]
    sim = subprocess.Popen([orvasim, "--address", address], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                           text=True)
    try:
        line = sim.stdout.readline()  # blocks until it listens or exits
        if "listening on" not in line:
            fail(f"orvasim did not start: {line}{sim.stdout.read()}")
        done = run_example(example, library, address)
        print(done.stdout, done.stderr, sep="")
        if done.returncode != 0 or "all values read back as written" not in done.stdout:
            fail(f"the example against orvasim exited with {done.returncode}")
    finally:
        sim.terminate()
        sim.wait(timeout=10)

    done = run_example(example, library, address)
    print(done.stdout, done.stderr, sep="")
    if done.returncode != 2 or "SOCKET_ERROR (-7), socket error 10061 (CONNECTION_REFUSED)" not in done.stderr:
        fail(f"with orvasim stopped the example exited with {done.returncode}")
    print("python example: all checks passed")


if __name__ == "__main__":
    main()

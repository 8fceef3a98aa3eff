#!/usr/bin/env python3
"""Relay load measurements on loopback: zerlan (or RTKLIB's str2str) between a
TCP source and N TCP clients.

  relay_load.py idle    --clients 10 --seconds 10   CPU of a silent relay
  relay_load.py stream  --clients 200 --rate 10000  CPU, loss and order at a rate
  relay_load.py burst   --clients 3 --bytes 1000000 a burst at loopback speed
  relay_load.py latency --clients 100               p50/p99 source -> client

--relay str2str measures str2str instead (skipped when it is not installed).
Only the standard library; the machine's load is printed with every result.
"""
import argparse
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ZERLAN = os.environ.get("ZERLAN", os.path.join(HERE, "..", "build", "zerlan"))


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    p = s.getsockname()[1]
    s.close()
    return p


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    tick = os.sysconf("SC_CLK_TCK")
    return (int(fields[11]) + int(fields[12])) / tick


def pattern(offset, n):
    return bytes((offset + i) % 251 for i in range(n))


class Source:
    """The TCP server the relay's input client connects to."""

    def __init__(self):
        self.listener = socket.socket()
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(4)
        self.port = self.listener.getsockname()[1]
        self.conn = None
        self.connections = 0
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            c, _ = self.listener.accept()
            c.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            self.connections += 1
            self.conn = c

    def wait(self, timeout=10):
        end = time.time() + timeout
        while self.conn is None and time.time() < end:
            time.sleep(0.01)
        return self.conn is not None


class Client(threading.Thread):
    def __init__(self, port, check=True, latency=False):
        super().__init__(daemon=True)
        self.sock = socket.create_connection(("127.0.0.1", port))
        self.received = 0
        self.faults = 0
        self.check = check
        self.latency = latency
        self.delays = []
        self.buf = b""
        self.done = False

    def run(self):
        while not self.done:
            try:
                data = self.sock.recv(65536)
            except OSError:
                break
            if not data:
                break
            if self.latency:
                now = time.monotonic()
                self.buf += data
                while len(self.buf) >= 16:
                    rec, self.buf = self.buf[:16], self.buf[16:]
                    self.delays.append(now - float(rec.decode()))
            elif self.check:
                if data != pattern(self.received, len(data)):
                    self.faults += 1
            self.received += len(data)


def start_relay(kind, src_port, out_port, clients, workdir):
    if kind == "str2str":
        cmd = ["str2str", "-in", f"tcpcli://127.0.0.1:{src_port}", "-out", f"tcpsvr://:{out_port}"]
    else:
        par = os.path.join(workdir, "load.par")
        with open(par, "w") as f:
            f.write('/inout_sw,"TCP;Null;Null;TCP;Null;Null;Null;Null;1000;TRUE;-1;100;FALSE;FALSE;FALSE"\n'
                    f'/tcp_in,"127.0.0.1;{src_port};FALSE"\n'
                    f'/tcp_out,"127.0.0.1;{out_port};TRUE;{min(clients, 200)};FALSE;0"\n'
                    '/miz,"0;InputDataNull;0;0;OutputDataNull;0"\n'
                    '/maz,"100000000;InputDataOverflow;0;100000000;OutputDataOverflow;0"\n'
                    '/pr,"load-protocol.dat"\n')
        cmd = [ZERLAN, "/pd,load.par"]
    log = open(os.path.join(workdir, "relay.log"), "w")
    return subprocess.Popen(cmd, cwd=workdir, stdout=subprocess.DEVNULL, stderr=log)


def served(workdir):
    try:
        with open(os.path.join(workdir, "relay.log")) as f:
            return f.read().count(" connected")
    except OSError:
        return 0


def connect_clients(port, n, workdir, relay, **kw):
    clients = []
    end = time.time() + 20
    while len(clients) < n and time.time() < end:
        try:
            c = Client(port, **kw)
        except OSError:
            time.sleep(0.05)
            continue
        c.start()
        clients.append(c)
    # Data flows only once every client is served (zerlan logs each one).
    end = time.time() + 30
    while relay == "zerlan" and served(workdir) < len(clients) and time.time() < end:
        time.sleep(0.05)
    time.sleep(1.0)
    return clients


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("mode", choices=["idle", "stream", "burst", "latency"])
    ap.add_argument("--relay", default="zerlan", choices=["zerlan", "str2str"])
    ap.add_argument("--clients", type=int, default=10)
    ap.add_argument("--seconds", type=float, default=10)
    ap.add_argument("--rate", type=int, default=10000)
    ap.add_argument("--bytes", type=int, default=1000000)
    a = ap.parse_args()
    if a.relay == "str2str" and not shutil.which("str2str"):
        print("str2str is not installed: skipped")
        return 0
    workdir = tempfile.mkdtemp(prefix="zerlan-load-")
    src = Source()
    out_port = free_port()
    relay = start_relay(a.relay, src.port, out_port, a.clients, workdir)
    try:
        if not src.wait():
            print("the relay never connected to the source")
            return 1
        clients = connect_clients(out_port, a.clients, workdir, a.relay, check=a.mode != "latency",
                                  latency=a.mode == "latency")
        load = os.getloadavg()[0]
        cpu0, t0 = cpu_seconds(relay.pid), time.monotonic()
        sent = 0
        if a.mode == "idle":
            time.sleep(a.seconds)
        elif a.mode == "stream":
            step = max(1, a.rate // 100)
            end = time.monotonic() + a.seconds
            next_at = time.monotonic()
            while time.monotonic() < end:
                try:
                    src.conn.sendall(pattern(sent, step))
                except OSError:
                    print("the relay closed its source connection")
                    break
                sent += step
                next_at += 0.01
                time.sleep(max(0, next_at - time.monotonic()))
        elif a.mode == "burst":
            src.conn.sendall(pattern(0, a.bytes))
            sent = a.bytes
        elif a.mode == "latency":
            end = time.monotonic() + a.seconds
            while time.monotonic() < end:
                src.conn.sendall(b"%16.6f" % time.monotonic())
                sent += 16
                time.sleep(0.01)
        deadline = time.monotonic() + 20
        while a.mode != "idle" and time.monotonic() < deadline and any(c.received < sent for c in clients):
            time.sleep(0.05)
        cpu = (cpu_seconds(relay.pid) - cpu0) / (time.monotonic() - t0) * 100
        short = sum(1 for c in clients if c.received < sent)
        faults = sum(c.faults for c in clients)
        result = (f"{a.relay} {a.mode}: clients {len(clients)}, sent {sent} B, clients short {short}, "
                  f"clients with altered bytes {faults}, relay CPU {cpu:.2f} % of a core, "
                  f"source connections {src.connections}, load {load:.2f}")
        if a.mode == "latency":
            d = sorted(x for c in clients for x in c.delays)
            if d:
                result += f", latency p50 {d[len(d) // 2] * 1000:.2f} ms p99 {d[int(len(d) * 0.99)] * 1000:.2f} ms"
        print(result)
        return 0 if short == 0 and faults == 0 else 1
    finally:
        t = time.monotonic()
        relay.terminate()
        try:
            relay.wait(10)
        except subprocess.TimeoutExpired:
            relay.kill()
        print(f"stop took {time.monotonic() - t:.2f} s")


if __name__ == "__main__":
    sys.exit(main())

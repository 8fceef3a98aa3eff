#!/usr/bin/env python3
"""Relay load measurements on loopback: zerlan (or RTKLIB's str2str) between a
TCP source and N TCP clients.

  relay_load.py idle    --clients 10 --seconds 10   CPU of a silent relay
  relay_load.py stream  --clients 200 --rate 10000  CPU, loss and order at a rate
  relay_load.py burst   --clients 3 --bytes 1000000 a burst at loopback speed
  relay_load.py latency --clients 100               p50/p99 source -> client

burst: zerlan also writes the stream to a file and decodes it; the burst is an
RTCM 3 stream (--input FILE, else made by rtcm3gen: $RTCM3GEN or
build/rtcm3gen), and the decoded text must equal `zerlan --decode` of the same
bytes apart from the lines that follow the computer's clock.

latency: the time from the source's send to the arrival in the client's
socket (kernel receive time stamps, so that this script's own scheduling does
not count); the arrival in the script is printed beside it.

--relay str2str measures str2str instead (skipped when it is not installed).
$ZERLAN names the zerlan binary (default build/zerlan). Only the standard
library; the machine's load is printed with every result.
"""
import argparse
import os
import random
import selectors
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ZERLAN = os.environ.get("ZERLAN", os.path.join(HERE, "..", "build", "zerlan"))
RTCM3GEN = os.environ.get("RTCM3GEN", os.path.join(HERE, "..", "build", "rtcm3gen"))
SO_TIMESTAMPNS = getattr(socket, "SO_TIMESTAMPNS", 35)
# Latency records carry the send time as seconds since this moment (16 bytes).
T0 = time.time()


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


def load():
    return "load %.2f %.2f %.2f" % os.getloadavg()


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


class Client:
    def __init__(self, port, latency):
        self.sock = socket.create_connection(("127.0.0.1", port))
        if latency:
            self.sock.setsockopt(socket.SOL_SOCKET, SO_TIMESTAMPNS, 1)
        self.sock.setblocking(False)
        self.received = 0
        self.faults = 0
        self.closed = False
        self.kernel_delays = []
        self.app_delays = []
        self.buf = b""


class Receivers(threading.Thread):
    """One thread reads every client, so that the clients cost the machine
    little beside the relay."""

    def __init__(self, clients, expected=None, latency=False):
        super().__init__(daemon=True)
        self.clients = clients
        self.expected = expected
        self.latency = latency
        self.done = False
        self.sel = selectors.DefaultSelector()
        for c in clients:
            self.sel.register(c.sock, selectors.EVENT_READ, c)

    def run(self):
        while not self.done:
            for key, _ in self.sel.select(0.1):
                self.take(key.data)

    def take(self, c):
        try:
            if self.latency:
                data, anc, _, _ = c.sock.recvmsg(65536, socket.CMSG_SPACE(16))
            else:
                data, anc = c.sock.recv(65536), []
        except BlockingIOError:
            return
        except OSError:
            data = b""
        if not data:
            c.closed = True
            self.sel.unregister(c.sock)
            return
        if self.latency:
            now = time.time()
            stamp = None
            for level, kind, cdata in anc:
                if level == socket.SOL_SOCKET and kind == SO_TIMESTAMPNS:
                    sec, nsec = struct.unpack("qq", cdata[:16])
                    stamp = sec + nsec * 1e-9
            c.buf += data
            while len(c.buf) >= 16:
                rec, c.buf = c.buf[:16], c.buf[16:]
                t = T0 + float(rec.decode())
                c.app_delays.append(now - t)
                if stamp is not None:
                    c.kernel_delays.append(stamp - t)
        elif self.expected is not None:
            if data != self.expected[c.received:c.received + len(data)]:
                c.faults += 1
        c.received += len(data)


def zerlan_par(path, src_port, out_port, clients, burst):
    outputs = "TCP;Null;Null;FILE;RTCM" if burst else "TCP;Null;Null;Null;Null"
    with open(path, "w") as f:
        f.write(f'/inout_sw,"TCP;Null;Null;{outputs};1000;TRUE;-1;100;FALSE;FALSE;FALSE"\n'
                f'/tcp_in,"127.0.0.1;{src_port};FALSE"\n'
                f'/tcp_out,"127.0.0.1;{out_port};TRUE;{min(clients, 200)};FALSE;0"\n'
                '/miz,"0;InputDataNull;0;0;OutputDataNull;0"\n'
                '/maz,"100000000;InputDataOverflow;0;100000000;OutputDataOverflow;0"\n'
                '/pr,"load-protocol.dat"\n')
        if burst:
            f.write('/file_out,"out.bin,4096;FALSE;0;60;.\\;0896;k;none"\n'
                    '/dec_out,"FALSE;\\\\.\\pipe\\DecPipe;TRUE;decoded.txt,4096,FALSE,0,60,.\\,0896,k,none;'
                    'FALSE;4004;1;FALSE;FALSE,60;FALSE"\n')


def start_relay(kind, src_port, out_port, clients, workdir, burst):
    if kind == "str2str":
        cmd = ["str2str", "-in", f"tcpcli://127.0.0.1:{src_port}", "-out", f"tcpsvr://:{out_port}"]
    else:
        zerlan_par(os.path.join(workdir, "load.par"), src_port, out_port, clients, burst)
        cmd = [ZERLAN, "/pd,load.par"]
    log = open(os.path.join(workdir, "relay.log"), "w")
    return subprocess.Popen(cmd, cwd=workdir, stdout=subprocess.DEVNULL, stderr=log)


def served(workdir):
    try:
        with open(os.path.join(workdir, "relay.log")) as f:
            return f.read().count(" connected")
    except OSError:
        return 0


def connect_clients(port, n, workdir, relay, latency):
    clients = []
    end = time.time() + 20
    while len(clients) < n and time.time() < end:
        try:
            clients.append(Client(port, latency))
        except OSError:
            time.sleep(0.05)
    # Data flows only once every client is served (zerlan logs each one).
    end = time.time() + 30
    while relay == "zerlan" and served(workdir) < len(clients) and time.time() < end:
        time.sleep(0.05)
    time.sleep(1.0)
    return clients


def without_time_lines(text):
    """Drops the "TM" lines and the PC-clock estimate of RTCM 3 header lines."""
    out = []
    for line in text.splitlines(keepends=True):
        sec = line.find(" Status 1 Sec ")
        if sec >= 0 and " Seq 1000 Frame " in line:
            end = line.find(" ", sec + 14)
            line = line[:sec + 14] + line[end:]
        if not line.startswith("TM "):
            out.append(line)
    return "".join(out)


def burst_bytes(a, workdir):
    if a.input:
        with open(a.input, "rb") as f:
            data = f.read()
    else:
        if not os.path.exists(RTCM3GEN):
            print(f"no {RTCM3GEN}: build the rtcm3gen target or give --input")
            sys.exit(2)
        path = os.path.join(workdir, "one.rtcm3")
        # About 190 bytes per epoch; the stream is cut at a whole epoch.
        subprocess.run([RTCM3GEN, path, str(a.bytes // 180 + 1)], check=True, stdout=subprocess.DEVNULL)
        with open(path, "rb") as f:
            data = f.read()
    # Whole copies up to the size asked; RTCM 3 frames delimit themselves.
    copies = max(1, -(-a.bytes // len(data)))
    return data * copies


def wait_until_written(workdir, names, quiet_s=2.0, limit_s=120):
    """Until the job's files have not grown for quiet_s (the decoder's text
    is many times the burst and follows it)."""
    last, since, end = None, time.monotonic(), time.monotonic() + limit_s
    while time.monotonic() < end:
        sizes = [os.path.getsize(os.path.join(workdir, n)) if os.path.exists(os.path.join(workdir, n)) else -1
                 for n in names]
        if sizes != last:
            last, since = sizes, time.monotonic()
        elif time.monotonic() - since >= quiet_s:
            return
        time.sleep(0.1)


def check_burst_outputs(workdir, data):
    """The file output and the decoded text, read after the relay has ended."""
    notes = []
    with open(os.path.join(workdir, "out.bin"), "rb") as f:
        written = f.read()
    notes.append("file output " + ("whole" if written == data else f"DIFFERS ({len(written)} of {len(data)} B)"))
    ref_path = os.path.join(workdir, "burst.rtcm3")
    with open(ref_path, "wb") as f:
        f.write(data)
    ref = subprocess.run([ZERLAN, "--quiet", "--decode", ref_path], cwd=workdir, capture_output=True).stdout
    with open(os.path.join(workdir, "decoded.txt"), "rb") as f:
        job = f.read()
    ref_t = without_time_lines(ref.decode("latin-1"))
    job_t = without_time_lines(job.decode("latin-1"))
    frames = ref.count(b"\r\nMT")
    if ref_t == job_t:
        notes.append(f"decoded text equal to --decode ({len(job)} B, {frames} messages)")
    else:
        n = next((i for i, (x, y) in enumerate(zip(ref_t, job_t)) if x != y), min(len(ref_t), len(job_t)))
        notes.append(f"decoded text DIFFERS from --decode at character {n} ({len(job_t)} vs {len(ref_t)})")
    return written == data and ref_t == job_t, notes


def percentile(values, p):
    v = sorted(values)
    return v[min(len(v) - 1, int(len(v) * p))] * 1000


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("mode", choices=["idle", "stream", "burst", "latency"])
    ap.add_argument("--relay", default="zerlan", choices=["zerlan", "str2str"])
    ap.add_argument("--clients", type=int, default=10)
    ap.add_argument("--seconds", type=float, default=10)
    ap.add_argument("--rate", type=int, default=10000)
    ap.add_argument("--bytes", type=int, default=1000000)
    ap.add_argument("--input", help="burst: an RTCM 3 file instead of rtcm3gen's stream")
    a = ap.parse_args()
    if a.relay == "str2str" and not shutil.which("str2str"):
        print("str2str is not installed: skipped")
        return 0
    workdir = tempfile.mkdtemp(prefix="zerlan-load-")
    burst_extras = a.mode == "burst" and a.relay == "zerlan"
    data = b""
    if a.mode == "burst":
        data = burst_bytes(a, workdir)
    elif a.mode == "stream":
        data = random.Random(1).randbytes(int(a.rate * (a.seconds + 1)))
    src = Source()
    out_port = free_port()
    relay = start_relay(a.relay, src.port, out_port, a.clients, workdir, burst_extras)
    ok = True
    try:
        if not src.wait():
            print("the relay never connected to the source")
            return 1
        clients = connect_clients(out_port, a.clients, workdir, a.relay, a.mode == "latency")
        receivers = Receivers(clients, expected=data if data else None, latency=a.mode == "latency")
        receivers.start()
        load_before = load()
        cpu0, t0 = cpu_seconds(relay.pid), time.monotonic()
        sent = 0
        if a.mode == "idle":
            time.sleep(a.seconds)
        elif a.mode == "stream":
            step = max(1, a.rate // 100)
            end = time.monotonic() + a.seconds
            next_at = time.monotonic()
            while time.monotonic() < end and sent + step <= len(data):
                try:
                    src.conn.sendall(data[sent:sent + step])
                except OSError:
                    print("the relay closed its source connection")
                    break
                sent += step
                next_at += 0.01
                time.sleep(max(0, next_at - time.monotonic()))
        elif a.mode == "burst":
            src.conn.sendall(data)
            sent = len(data)
        elif a.mode == "latency":
            end = time.monotonic() + a.seconds
            while time.monotonic() < end:
                src.conn.sendall(b"%16.6f" % (time.time() - T0))
                sent += 16
                time.sleep(0.01)
        deadline = time.monotonic() + 30
        while a.mode != "idle" and time.monotonic() < deadline and any(
                c.received < sent and not c.closed for c in clients):
            time.sleep(0.02)
        elapsed = time.monotonic() - t0
        cpu = (cpu_seconds(relay.pid) - cpu0) / elapsed * 100
        if burst_extras:
            wait_until_written(workdir, ["out.bin", "decoded.txt"])
        receivers.done = True
        short = sum(1 for c in clients if c.received < sent)
        faults = sum(1 for c in clients if c.faults)
        result = (f"{a.relay} {a.mode}: clients {len(clients)}, sent {sent} B, clients short {short}, "
                  f"clients with altered bytes {faults}, relay CPU {cpu:.2f} % of a core over {elapsed:.1f} s, "
                  f"source connections {src.connections}, {load_before}")
        if a.mode == "burst":
            result += f", burst took {elapsed:.2f} s to the last client"
        if a.mode == "latency":
            k = [x for c in clients for x in c.kernel_delays]
            u = [x for c in clients for x in c.app_delays]
            if k:
                result += f", latency to the client socket p50 {percentile(k, .5):.2f} ms p99 {percentile(k, .99):.2f} ms"
            if u:
                result += f" (to this script p50 {percentile(u, .5):.2f} ms p99 {percentile(u, .99):.2f} ms)"
        print(result, flush=True)
        ok = short == 0 and faults == 0
    finally:
        t = time.monotonic()
        relay.terminate()
        try:
            relay.wait(20)
        except subprocess.TimeoutExpired:
            relay.kill()
        print(f"stop took {time.monotonic() - t:.2f} s; {load()}")
    if burst_extras:
        whole, notes = check_burst_outputs(workdir, data)
        print("burst: " + "; ".join(notes))
        ok = ok and whole
    shutil.rmtree(workdir, ignore_errors=True)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())

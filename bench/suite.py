#!/usr/bin/python3
"""The benchmark suite behind `make bench`.

Lays out a server tree and local files in a temporary folder, starts a real
FTP server on 127.0.0.1 (vsftpd in the foreground with a generated
configuration; pyftpdlib when vsftpd cannot be used), runs the program's
drivers (which run their peer command between two runs of the program), stops
the server and prints one table of medians.

Environment: BENCH_RUNS (runs per figure, default 5, at least 5 for the
table), BENCH_SERVER (vsftpd or pyftpdlib), BENCH_MB (size of the transfer
file, default 512), BENCH_ENTRIES (default 100000), BENCH_ONLY (a comma list
of download, upload, download-pasv, upload-pasv, upload-floor, download-tls, upload-tls, tree-download, tree-upload, remote-list, local-list, million-list, startup), BENCH_KEEP=1 keeps the
temporary folder, BENCH_WRAP puts a command (a profiler) in front of the
drivers.

tree-download and tree-upload move a whole folder: 1,000 files of 4 KB in 50
folders four levels deep, against `lftp` `mirror` and `mirror -R` (one file
at a time, its default) on the same server in active mode. lftp is timed as a
process, its start-up and log-in included; the program from the command to
the end of the batch, logged in beforehand. Target: at most 1.1 of lftp's
time.

download-tls and upload-tls move the same files over explicit TLS: a second
vsftpd on the same tree that requires AUTH TLS before the log-in, encryption
of every data connection and, on each, resumption of the control
connection's TLS session, with a certificate made for the run (openssl). The
program's entry requires TLS and trusts that certificate by its SHA-256
fingerprint; the peer is `curl --ssl-reqd` checking the same certificate.
Both run in passive mode: Debian 12's curl 7.88 cannot open active-mode TLS
data connections. Target: at least 0.8 of curl. These rows need vsftpd (and
root); without it they are left out.
"""

import contextlib
import hashlib
import os
import platform
import pwd
import re
import shutil
import signal
import socket
import ssl
import statistics
import subprocess
import sys
import tempfile
import threading
import time

RUNS = max(1, int(os.environ.get("BENCH_RUNS", "5")))
MB = int(os.environ.get("BENCH_MB", "512"))
ENTRIES = int(os.environ.get("BENCH_ENTRIES", "100000"))
ONLY = [s for s in os.environ.get("BENCH_ONLY", "").split(",") if s]


def wanted(figure):
    return not ONLY or figure in ONLY


def log(text):
    print(text, file=sys.stderr, flush=True)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def write_random(path, megabytes):
    with open(path, "wb") as f:
        for _ in range(megabytes):
            f.write(os.urandom(1 << 20))


def fill_listing_folder(folder, entries):
    """A large server folder as people have them: mostly files of all sizes
    (sparse, so they cost no disk), some folders and links, names with
    spaces and Japanese, times this year and years back."""
    os.makedirs(folder)
    now = time.time()
    seed = 12345

    def rnd():
        nonlocal seed
        seed = (seed * 1103515245 + 12345) & 0xFFFFFFFF
        return seed >> 8

    for i in range(entries):
        kind = rnd() % 100
        stamp = now - (rnd() % (5 * 365 * 86400))
        if kind == 0:
            path = os.path.join(folder, "dir_%06d_%d" % (rnd() % 1000000, i))
            os.mkdir(path)
        elif kind == 1:
            path = os.path.join(folder, "link_%06d_%d" % (rnd() % 1000000, i))
            os.symlink("../target/%d" % i, path)
            os.utime(path, (stamp, stamp), follow_symlinks=False)
            continue
        else:
            stem = "資料 %06d_%d" % (rnd() % 1000000, i) if kind == 2 else "file_%06d_%d" % (rnd() % 1000000, i)
            path = os.path.join(folder, stem + ".dat")
            with open(path, "wb") as f:
                f.truncate(rnd() % 100 * (rnd() % 100000))
        os.utime(path, (stamp, stamp))


TREE_FOLDERS = 50
TREE_FILES_PER_FOLDER = 20
TREE_FILE_BYTES = 4096


def make_tree(top):
    """A site as people keep one: 50 folders four levels deep (the top, 7
    under it, 2 under each of those, 2 under each of those again), 20 files of
    4 KB in each, 1,000 files in all."""
    folders = [top]
    for a in range(1, 8):
        level1 = os.path.join(top, "section%d" % a)
        folders.append(level1)
        for b in range(1, 3):
            level2 = os.path.join(level1, "part%d" % b)
            folders.append(level2)
            folders += [os.path.join(level2, "page%d" % c) for c in range(1, 3)]
    assert len(folders) == TREE_FOLDERS
    for folder in folders:
        os.makedirs(folder)
        os.chmod(folder, 0o755)   # the anonymous server serves only what all may read
        for i in range(TREE_FILES_PER_FOLDER):
            path = os.path.join(folder, "file%02d.dat" % i)
            with open(path, "wb") as f:
                f.write(os.urandom(TREE_FILE_BYTES))
            os.chmod(path, 0o644)


def wait_accepting(port, seconds=20):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=2) as s:
                if s.recv(4).startswith(b"220"):
                    return True
        except OSError:
            time.sleep(0.05)
    return False


def tls_summary(port):
    """The protocol and cipher a TLS client gets from the server after AUTH TLS."""
    context = ssl.create_default_context()
    context.check_hostname = False
    context.verify_mode = ssl.CERT_NONE
    with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
        replies = s.makefile("rb")
        for command in (None, b"AUTH TLS\r\n"):
            if command:
                s.sendall(command)
            line = replies.readline()
            while line[3:4] == b"-":
                line = replies.readline()
        with context.wrap_socket(s) as t:
            return "%s, %s" % (t.version(), t.cipher()[0])


class Server:
    def __init__(self, work, root, tls=False):
        self.work, self.root = work, root
        self.proc = None
        self.port = free_port()
        self.name = ""
        self.user, self.password = "anonymous", "bench@"
        # With tls: explicit TLS required, with a certificate made here.
        self.tls = tls
        self.cert = self.key = self.fingerprint = None

    def vsftpd_usable(self):
        if not os.path.exists("/usr/sbin/vsftpd") or os.geteuid() != 0:
            return False
        try:
            pwd.getpwnam("ftp")
            return True
        except KeyError:
            return False

    def start(self):
        choice = os.environ.get("BENCH_SERVER", "")
        if choice != "pyftpdlib" and self.vsftpd_usable():
            if self.start_vsftpd():
                return
            log("vsftpd did not start; trying pyftpdlib")
        self.start_pyftpdlib()

    def make_certificate(self):
        self.cert = os.path.join(self.work, "tls-cert.pem")
        self.key = os.path.join(self.work, "tls-key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                        "-nodes", "-keyout", self.key, "-out", self.cert, "-days", "7", "-subj", "/CN=127.0.0.1",
                        "-addext", "subjectAltName=IP:127.0.0.1"], check=True, capture_output=True)
        with open(self.cert) as f:
            self.fingerprint = hashlib.sha256(ssl.PEM_cert_to_DER_cert(f.read())).hexdigest()

    def tls_lines(self):
        # Log-in and every data connection encrypted, each data connection
        # resuming the control connection's session. vsftpd's built-in
        # cipher list leaves TLS 1.2 nothing OpenSSL 3 offers for this key.
        return ["ssl_enable=YES", "allow_anon_ssl=YES", "force_anon_logins_ssl=YES", "force_anon_data_ssl=YES",
                "force_local_logins_ssl=YES", "force_local_data_ssl=YES", "require_ssl_reuse=YES",
                "ssl_ciphers=HIGH", "rsa_cert_file=" + self.cert, "rsa_private_key_file=" + self.key]

    def start_vsftpd(self):
        # Anonymous, chrooted into the tree; the tree's top is root's and
        # read-only (vsftpd insists), pub/xfer belongs to the ftp user so
        # uploads can land there.
        ftp = pwd.getpwnam("ftp")
        os.chmod(self.root, 0o555)
        for writable in ("xfer", "treeup"):
            path = os.path.join(self.root, "pub", writable)
            if os.path.isdir(path):
                os.chown(path, ftp.pw_uid, ftp.pw_gid)
        empty = os.path.join(self.work, "vsftpd-empty")
        os.makedirs(empty, exist_ok=True)
        stem = "vsftpd-tls" if self.tls else "vsftpd"
        conf = os.path.join(self.work, stem + ".conf")
        extra = []
        if self.tls:
            self.make_certificate()
            extra = self.tls_lines()
        with open(conf, "w") as f:
            f.write("\n".join([
                "listen=YES", "listen_ipv6=NO", "listen_address=127.0.0.1",
                "listen_port=%d" % self.port, "background=NO",
                "anonymous_enable=YES", "no_anon_password=NO", "anon_root=" + self.root,
                "local_enable=NO", "write_enable=YES", "anon_upload_enable=YES", "anon_mkdir_write_enable=YES",
                "anon_umask=022", "connect_from_port_20=NO", "port_enable=YES",
                "seccomp_sandbox=NO", "isolate=NO", "isolate_network=NO",
                "secure_chroot_dir=" + empty, "xferlog_enable=NO", "dirmessage_enable=NO",
                "use_localtime=NO", "idle_session_timeout=3000", "data_connection_timeout=3000",
                "max_clients=50", "max_per_ip=50"] + extra + [""]))
        self.log = open(os.path.join(self.work, stem + ".log"), "wb")
        self.proc = subprocess.Popen(["/usr/sbin/vsftpd", conf], stdout=self.log, stderr=subprocess.STDOUT,
                                     start_new_session=True)
        if not wait_accepting(self.port):
            self.stop()
            return False
        version = subprocess.run(["dpkg-query", "-W", "-f=${Version}", "vsftpd"], capture_output=True,
                                 text=True).stdout.strip()
        self.name = "vsftpd %s (anonymous; active and passive mode)" % version
        if self.tls:
            self.name = ("vsftpd %s (anonymous; explicit TLS required for log-in and data, session reuse required; "
                         "%s)" % (version, tls_summary(self.port)))
        return True

    def start_pyftpdlib(self):
        self.user, self.password = "bench", "bench-secret"
        self.log = open(os.path.join(self.work, "pyftpdlib.log"), "wb")
        self.proc = subprocess.Popen(
            ["/usr/bin/python3", "-m", "pyftpdlib", "-i", "127.0.0.1", "-p", str(self.port), "-w", "-d", self.root,
             "-u", self.user, "-P", self.password],
            stdout=self.log, stderr=subprocess.STDOUT, start_new_session=True)
        if not wait_accepting(self.port):
            self.stop()
            sys.exit("no FTP server could be started (see %s)" % self.work)
        version = subprocess.run(["/usr/bin/python3", "-c", "import pyftpdlib; print(pyftpdlib.__ver__)"],
                                 capture_output=True, text=True).stdout.strip()
        self.name = "pyftpdlib %s (active mode)" % version

    def stop(self):
        if self.proc and self.proc.poll() is None:
            os.killpg(self.proc.pid, signal.SIGTERM)
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                os.killpg(self.proc.pid, signal.SIGKILL)
                self.proc.wait()
        self.proc = None


MILLION = 1000000


def million_listing():
    """A listing of a million entries as a big server folder sends it: files
    of all sizes, some folders and links, times and years, in no order."""
    months = [b"Jan", b"Feb", b"Mar", b"Apr", b"May", b"Jun", b"Jul", b"Aug", b"Sep", b"Oct", b"Nov", b"Dec"]
    seed = 4321
    lines = []
    for i in range(MILLION):
        seed = (seed * 1103515245 + 12345) & 0xFFFFFFFF
        r = seed >> 8
        when = b"%02d:%02d" % (r % 24, r % 60) if r & 1 else b" %d" % (2000 + r % 25)
        date = b"%s %2d %s" % (months[r % 12], r % 28 + 1, when)
        if r % 100 == 0:
            lines.append(b"drwxr-xr-x   2 ftp      ftp          4096 %s dir_%06d_%d" % (date, r % 1000000, i))
        elif r % 100 == 1:
            lines.append(b"lrwxrwxrwx   1 ftp      ftp            12 %s link_%06d_%d -> ../t/%d" % (date, r % 1000000, i, i))
        else:
            lines.append(b"-rw-r--r--   1 ftp      ftp   %11d %s file_%06d_%d.dat" % (r * (r % 1000), date, r % 1000000, i))
    return b"\r\n".join(lines) + b"\r\n"


class ListingServer:
    """Just enough of an FTP server, in active mode, to hand out one big
    listing as fast as the client takes it: no file system behind it."""

    def __init__(self, listing):
        self.listing = listing
        self.sock = socket.socket()
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(4)
        self.port = self.sock.getsockname()[1]
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        while True:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            threading.Thread(target=self.session, args=(conn,), daemon=True).start()

    def session(self, conn):
        with conn:
            reader = conn.makefile("rb")
            conn.sendall(b"220 listing server\r\n")
            data_at = None
            for raw in reader:
                verb, _, arg = raw.strip().partition(b" ")
                verb = verb.upper()
                if verb == b"USER":
                    conn.sendall(b"331 Password required.\r\n")
                elif verb == b"PASS":
                    conn.sendall(b"230 Logged in.\r\n")
                elif verb == b"CWD":
                    conn.sendall(b"250 CWD command successful.\r\n")
                elif verb == b"PWD":
                    conn.sendall(b'257 "/pub/million" is current\r\n')
                elif verb == b"TYPE":
                    conn.sendall(b"200 Type set.\r\n")
                elif verb == b"PORT":
                    n = arg.split(b",")
                    data_at = (b".".join(n[:4]).decode(), int(n[4]) * 256 + int(n[5]))
                    conn.sendall(b"200 PORT command successful.\r\n")
                elif verb == b"LIST" and data_at:
                    conn.sendall(b"150 Here comes the listing.\r\n")
                    with socket.create_connection(data_at) as data:
                        data.sendall(self.listing)
                    conn.sendall(b"226 Transfer complete.\r\n")
                elif verb == b"QUIT":
                    conn.sendall(b"221 Goodbye.\r\n")
                    return
                else:
                    conn.sendall(b"502 Command not implemented.\r\n")

    def stop(self):
        self.sock.close()


def million_runs(build):
    # Its own driver: built here, as run.sh builds only the other two.
    subprocess.run(["cmake", "--build", build, "--target", "palu_bench_listing"], check=True,
                   stdout=subprocess.DEVNULL)
    log("  million-list: generating the listing ...")
    server = ListingServer(million_listing())
    try:
        return run_driver(os.path.join(build, "bench", "palu_bench_listing"), "million",
                          {"port": server.port, "entries": MILLION, "runs": RUNS})
    finally:
        server.stop()


def layout_runs(build):
    # The listing driver again: 100,000 entries per layout against Unix's.
    subprocess.run(["cmake", "--build", build, "--target", "palu_bench_listing"], check=True,
                   stdout=subprocess.DEVNULL)
    return run_driver(os.path.join(build, "bench", "palu_bench_listing"), "layouts", {"runs": RUNS})


def run_driver(exe, mode, params):
    # BENCH_WRAP puts a command in front of the driver, e.g. a profiler:
    # BENCH_WRAP="perf record -g -o /tmp/upload.data" BENCH_ONLY=upload
    command = os.environ.get("BENCH_WRAP", "").split() + [exe, mode] + ["%s=%s" % kv for kv in params.items()]
    log("  " + mode + " ...")
    out = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                         env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    if out.returncode != 0:
        sys.exit("%s %s failed:\n%s%s" % (exe, mode, out.stdout, out.stderr))
    runs = []
    for line in out.stdout.splitlines():
        parts = line.split()
        if len(parts) >= 4 and parts[0] == "run":
            extra = dict(p.split("=", 1) for p in parts[4:] if "=" in p)
            runs.append((float(parts[2]), float(parts[3]), extra))
    if not runs:
        sys.exit("%s %s printed no result:\n%s" % (exe, mode, out.stdout))
    for program, peer, extra in runs:
        log("    program %.1f  peer %.1f  %s" % (program, peer, " ".join("%s=%s" % kv for kv in extra.items())))
    return runs


def startup_runs(exe, work):
    home = os.path.join(work, "startup-home")
    config = os.path.join(work, "startup-config")
    os.makedirs(home, exist_ok=True)
    os.makedirs(config, exist_ok=True)
    # An existing server list: no welcome message on the first start.
    open(os.path.join(home, "server.lst"), "wb").close()
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", PALU_FTP_HOME=home, XDG_CONFIG_HOME=config)
    results = []
    log("  startup ...")
    for _ in range(RUNS):
        start = time.monotonic_ns()
        out = subprocess.run(["/usr/bin/time", "-f", "maxrss_kb %M", exe], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True, env=env, timeout=60)
        values = dict(re.findall(r"^(\w+) (\d+)$", out.stdout + out.stderr, re.M))
        if "shown_ns" not in values:
            sys.exit("start-up run failed:\n" + out.stdout + out.stderr)
        ms = (int(values["shown_ns"]) - start) / 1e6
        peak = int(values.get("maxrss_kb", values["peak_kb"])) / 1024
        log("    %.1f ms, peak %.1f MB" % (ms, peak))
        results.append((ms, peak))
    return results


def machine():
    model = "unknown CPU"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    memory = ""
    try:
        with open("/proc/meminfo") as f:
            kb = int(f.readline().split()[1])
            memory = ", %.0f GB RAM" % (kb / 1024 / 1024)
    except (OSError, ValueError, IndexError):
        pass
    cores = subprocess.run(["nproc"], capture_output=True, text=True).stdout.strip()
    load = ", load average %.1f at the end" % os.getloadavg()[0]
    return "%s cores (nproc), %s%s, %s %s%s" % (cores, model, memory, platform.system(), platform.release(), load)


SERVER_NAME = [""]
TLS_SERVER_NAME = [""]


def median(values):
    return statistics.median(values)


# Some virtual machines hand freed guest memory back to their host at once;
# the next page-cache page that lands on such memory costs a host fault, so a
# 512 MB write takes 0.1 s or 1.6 s depending on how long ago its pages were
# freed. Deferring that hand-back while the suite runs makes both sides of
# every ratio meet the same memory, as they would on an ordinary machine.
PAGE_REPORTING_DELAY = "/sys/module/page_reporting/parameters/min_free_ms"
MEMORY_NOTE = [""]


def warm_memory(megabytes):
    # Memory the host took back earlier is slow on first touch: touch some
    # through the page cache once, so that the first runs meet warm memory too.
    scratch = os.path.join(tempfile.gettempdir(), "palu_bench_warm.%d" % os.getpid())
    zeros = bytes(1 << 20)
    try:
        with open(scratch, "wb") as f:
            for _ in range(megabytes):
                f.write(zeros)
    finally:
        os.remove(scratch)


@contextlib.contextmanager
def page_reporting_held_off():
    try:
        with open(PAGE_REPORTING_DELAY) as f:
            before = f.read().strip()
        with open(PAGE_REPORTING_DELAY, "w") as f:
            f.write("300000")
    except OSError:
        yield   # an ordinary machine, or no right to change it
        return
    try:
        warm_memory(4 * MB)
        MEMORY_NOTE[0] = ("; the machine's hand-back of freed memory to its host was deferred during the run "
                          "(%s from %s to 300000)" % (PAGE_REPORTING_DELAY, before))
        yield
    finally:
        with open(PAGE_REPORTING_DELAY, "w") as f:
            f.write(before)


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build-bench")
    driver = os.path.join(build, "bench", "palu_bench")
    starter = os.path.join(build, "bench", "palu_bench_startup")
    work = tempfile.mkdtemp(prefix="palu_bench.")
    os.chmod(work, 0o755)
    root = os.path.join(work, "server")
    xfer = os.path.join(root, "pub", "xfer")
    many = os.path.join(root, "pub", "many")
    down = os.path.join(work, "local", "down")
    up = os.path.join(work, "local", "up")
    # The tree rows: the server's tree in treedown, uploads into treeup.
    treedown = os.path.join(root, "pub", "treedown")
    treeup = os.path.join(root, "pub", "treeup")
    local_treedown = os.path.join(work, "local", "treedown")
    local_treedown_peer = os.path.join(work, "local", "treedown-peer")
    local_treeup = os.path.join(work, "local", "treeup")
    for d in (xfer, down, up, treedown, treeup, local_treedown, local_treedown_peer, local_treeup):
        os.makedirs(d)
    # The drivers wait for the remote list to be filled: never an empty folder.
    for d in (xfer, treeup):
        with open(os.path.join(d, "readme.txt"), "w") as f:
            f.write("files for the transfer benchmarks\n")
    server = None
    rows = {}
    with page_reporting_held_off():
        try:
            log("preparing %s: %d MB files, %d entries" % (work, MB, ENTRIES))
            if wanted("download") or wanted("download-pasv") or wanted("download-tls"):
                write_random(os.path.join(xfer, "big.bin"), MB)
            if wanted("upload") or wanted("upload-pasv") or wanted("upload-floor") or wanted("upload-tls"):
                write_random(os.path.join(up, "upload.bin"), MB)
            if wanted("remote-list") or wanted("local-list"):
                fill_listing_folder(many, ENTRIES)
            if wanted("tree-download") or wanted("tree-upload"):
                make_tree(os.path.join(treedown, "site"))
                shutil.copytree(os.path.join(treedown, "site"), os.path.join(local_treeup, "site"))
            server = Server(work, root)
            server.start()
            SERVER_NAME[0] = server.name
            log("server: %s on 127.0.0.1:%d" % (server.name, server.port))
            common = {"host": "127.0.0.1", "port": server.port, "user": server.user, "pass": server.password,
                      "runs": RUNS}
            if wanted("download"):
                rows["download"] = run_driver(driver, "download", dict(
                    common, remote="/pub/xfer", file="big.bin", local=down, server_dir=xfer))
            if wanted("upload"):
                rows["upload"] = run_driver(driver, "upload", dict(
                    common, remote="/pub/xfer", file="upload.bin", local=up, server_dir=xfer))
            if wanted("download-pasv"):
                rows["download-pasv"] = run_driver(driver, "download", dict(
                    common, remote="/pub/xfer", file="big.bin", local=down, server_dir=xfer, passive=1))
            if wanted("upload-pasv"):
                rows["upload-pasv"] = run_driver(driver, "upload", dict(
                    common, remote="/pub/xfer", file="upload.bin", local=up, server_dir=xfer, passive=1))
            if wanted("upload-floor"):
                rows["upload-floor"] = run_driver(driver, "upload-floor", dict(
                    common, remote="/pub/xfer", file="upload.bin", local=up, server_dir=xfer))
            if wanted("tree-download"):
                rows["tree-download"] = run_driver(driver, "tree-download", dict(
                    common, remote="/pub/treedown", tree="site", local=local_treedown,
                    peer_local=local_treedown_peer, server_dir=treedown))
            if wanted("tree-upload"):
                rows["tree-upload"] = run_driver(driver, "tree-upload", dict(
                    common, remote="/pub/treeup", tree="site", local=local_treeup, server_dir=treeup))
            if wanted("remote-list"):
                rows["remote-list"] = run_driver(driver, "remote-list", dict(
                    common, remote="/pub/many", local=down, entries=ENTRIES))
            server.stop()
            server = None
            if wanted("download-tls") or wanted("upload-tls"):
                server = Server(work, root, tls=True)
                if not server.vsftpd_usable():
                    log("the TLS rows need vsftpd and root; left out")
                elif not server.start_vsftpd():
                    sys.exit("vsftpd with TLS did not start (see %s)" % work)
                else:
                    TLS_SERVER_NAME[0] = server.name
                    log("TLS server: %s on 127.0.0.1:%d" % (server.name, server.port))
                    tls = dict(common, port=server.port, user=server.user, remote="/pub/xfer", server_dir=xfer,
                               passive=1, tls=2, fp=server.fingerprint, cacert=server.cert)
                    tls["pass"] = server.password
                    if wanted("download-tls"):
                        rows["download-tls"] = run_driver(driver, "download", dict(tls, file="big.bin", local=down))
                    if wanted("upload-tls"):
                        rows["upload-tls"] = run_driver(driver, "upload", dict(tls, file="upload.bin", local=up))
                server.stop()
                server = None
            if wanted("local-list"):
                rows["local-list"] = run_driver(driver, "local-list", {"dir": many, "entries": ENTRIES, "runs": RUNS})
            if wanted("million-list"):
                rows["million-list"] = million_runs(build)
            if wanted("layouts"):
                rows["layouts"] = layout_runs(build)
            if wanted("startup"):
                rows["startup"] = startup_runs(starter, work)
        finally:
            if server:
                server.stop()
            if os.environ.get("BENCH_KEEP") != "1":
                shutil.rmtree(work, ignore_errors=True)
            else:
                log("kept " + work)
    print_table(rows)


def print_table(rows):
    lines = []
    lines.append("Machine: " + machine() + MEMORY_NOTE[0])
    lines.append("Server: %s on 127.0.0.1; peers run against the same server in the same run" % SERVER_NAME[0])
    if TLS_SERVER_NAME[0]:
        lines.append("TLS rows: %s on 127.0.0.1, passive mode" % TLS_SERVER_NAME[0])
    lines.append("Each figure: median of %d runs. Ratio: this program / peer (throughput: higher is better; "
                 "times: lower is better)." % RUNS)
    lines.append("")
    lines.append("| figure | this program | peer in the same run | ratio |")
    lines.append("|---|---|---|---|")
    targets = []

    def pair(key):
        runs = rows[key]
        program = median([r[0] for r in runs])
        peer = median([r[1] for r in runs])
        ratio = median([r[0] / r[1] for r in runs])
        return program, peer, ratio, runs

    # Transfer rows: figure, what is moved, the peer, the target ratio.
    transfers = [
        ("download", "download of a %d MB file", "`curl -P 127.0.0.1` to a file in the same folder", 0.95,
         "download"),
        ("upload", "upload of a %d MB file", "`curl -P 127.0.0.1 -T`", 0.7, "upload"),
        ("download-pasv", "download of a %d MB file in passive mode", "`curl`, passive", 0.95, "passive download"),
        ("upload-pasv", "upload of a %d MB file in passive mode", "`curl -T`, passive", 0.7, "passive upload"),
        ("download-tls", "download of a %d MB file over TLS, passive mode", "`curl --ssl-reqd`, passive", 0.8,
         "TLS download"),
        ("upload-tls", "upload of a %d MB file over TLS, passive mode", "`curl --ssl-reqd -T`, passive", 0.8,
         "TLS upload"),
    ]
    for key, what, peer_name, target, target_name in transfers:
        if key not in rows:
            continue
        p, q, r, _ = pair(key)
        lines.append("| %s, MB/s | %.0f | %.0f (%s) | %.2f |" % (what % MB, p, q, peer_name, r))
        targets.append(("%s ≥ %s of curl" % (target_name, target), r >= target))
    # Folder rows: times, lower is better.
    trees = [
        ("tree-download", "download of a folder", "`lftp` `mirror`", "folder download"),
        ("tree-upload", "upload of a folder", "`lftp` `mirror -R`", "folder upload"),
    ]
    for key, what, peer_name, target_name in trees:
        if key not in rows:
            continue
        p, q, r, _ = pair(key)
        lines.append("| %s (%s files of %d KB in %d folders, four levels), command to the end of the batch, "
                     "logged in beforehand, s | %.2f | %.2f (%s, one file at a time, timed as a process: start-up "
                     "and log-in included) | %.2f |" % (what, format(TREE_FOLDERS * TREE_FILES_PER_FOLDER, ","),
                                                       TREE_FILE_BYTES // 1024, TREE_FOLDERS, p, q, peer_name, r))
        targets.append(("%s at most 1.1x the time of lftp" % target_name, r <= 1.1))
    if "remote-list" in rows:
        p, q, r, runs = pair("remote-list")
        lines.append("| remote listing of %s entries, LIST sent to list shown and sorted, ms | %.0f | %.0f (curl "
                     "fetching the same listing to a file) | %.1f |" % (format(ENTRIES, ","), p, q, r))
        targets.append(("remote listing under 1 s", p < 1000))
    if "local-list" in rows:
        p, q, r, _ = pair("local-list")
        lines.append("| local listing of %s files, ms | %.0f | %.0f (`ls -l` of the same folder to /dev/null) "
                     "| %.1f |" % (format(ENTRIES, ","), p, q, r))
        targets.append(("local listing under 1 s", p < 1000))
        targets.append(("local listing at most the time of ls -l", r <= 1.0))
    if "startup" in rows:
        ms = median([r[0] for r in rows["startup"]])
        peak = median([r[1] for r in rows["startup"]])
        lines.append("| start-up to main window shown, ms; peak memory, MB | %.0f ms; %.0f MB | — | — |" % (ms, peak))
        targets.append(("start-up under 0.5 s", ms < 500))
    if "remote-list" in rows:
        rss = median([int(r[2]["rss_kb"]) / 1024 for r in rows["remote-list"]])
        lines.append("| memory with %s remote entries shown, MB | %.0f | — | — |" % (format(ENTRIES, ","), rss))
        targets.append(("memory with the remote entries under 150 MB", rss < 150))
    if "million-list" in rows:
        stall = median([r[0] for r in rows["million-list"]])
        peak = median([r[1] for r in rows["million-list"]])
        shown = median([int(r[2]["rss_kb"]) / 1024 for r in rows["million-list"]])
        lines.append("| remote listing of %s entries (listed again), longest time the window did not answer, ms; "
                     "peak memory, MB; memory with it shown, MB | %.0f ms; %.0f MB; %.0f MB | — | — |"
                     % (format(MILLION, ","), stall, peak, shown))
        targets.append(("1,000,000-entry listing: window answers within 250 ms", stall < 250))
        targets.append(("1,000,000-entry listing: memory with it shown under 500 MB", shown < 500))
    if "layouts" in rows:
        names = {"iis": "IIS", "iso": "ISO (`ls --time-style=long-iso`)", "japanese": "Japanese (`ls` under ja_JP)",
                 "mlsd": "MLSD"}
        for key, label in names.items():
            runs = [r for r in rows["layouts"] if r[2].get("layout") == key]
            if not runs:
                continue
            p = median([r[0] for r in runs])
            q = median([r[1] for r in runs])
            r = median([r[0] / r[1] for r in runs])
            lines.append("| remote listing of %s entries in the %s layout, listing file to list shown and sorted, ms "
                         "| %.0f | %.0f (the same entries in the Unix layout) | %.2f |" % (format(100000, ","), label, p, q, r))
            targets.append(("%s listing within 1.5x of Unix" % key, r <= 1.5))
    if "upload-floor" in rows:
        p, q, r, _ = pair("upload-floor")
        lines.append("")
        lines.append("For comparison, a plain sender that reads each 1024-byte block only after the system took the "
                     "last (the upload's rule before its blocks were handed over together) moves %.0f MB/s against "
                     "the same server, %.2f of curl's %.0f MB/s." % (p, r, q))
    lines.append("")
    lines.append("Targets: " + "; ".join("%s: %s" % (t, "met" if ok else "MISSED") for t, ok in targets))
    print("\n".join(lines))


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""An emulated i386 machine for the 32-bit Windows programs, where this
machine's kernel runs no 32-bit program. QEMU boots Debian's i386 kernel with
a small initramfs; the root is an i386 Debian tree with Wine, shared read-only
over 9p; the host's /tmp and this repository are shared at the same paths. An
agent inside runs the commands it is sent, all in one machine that stays up
between calls, so they share one wineserver per prefix as on a real machine.

  machine.py setup              make build/i386-machine once (about 2 minutes)
  machine.py start              set it up and boot it, unless it runs
  machine.py stop               stop it (the tests' end)
  machine.py status             whether it runs
  machine.py run COMMAND...     run an i386 command there, in this folder
  machine.py shell              a shell there
  machine.py agent              (inside the machine) serve the runs

A run passes the command's standard output, standard error and exit status
back, what it wrote is on the host's side when it returns (and within about
50 ms while it runs), this folder is its working folder, WINE*, LUMIVANE_*, TZ, LANG and LC_*
variables go along, and a port it listens on inside is listened on at
127.0.0.1 outside and tunnelled in, for as long as the run lasts. When the
machine's kernel fails (an oops), every run is ended with status 137 and a line
saying so, the machine powers off, and the next run boots another.
"""
import ctypes
import json
import os
import re
import secrets
import signal
import socket
import struct
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
MACHINE_DIR = os.path.join(REPO, "build", "i386-machine")
ROOT = os.path.join(MACHINE_DIR, "root")  # the i386 tree
INITRD = os.path.join(MACHINE_DIR, "initrd.img")
RUN_DIR = os.path.join(MACHINE_DIR, "run")  # a running machine's files
TOKEN_FILE = os.path.join(RUN_DIR, "token")
PORT_FILE = os.path.join(RUN_DIR, "agent.port")
PID_FILE = os.path.join(RUN_DIR, "qemu.pid")
CONSOLE_LOG = os.path.join(RUN_DIR, "console.log")
SERVER_LOG = os.path.join(RUN_DIR, "wineserver.log")  # what the wineservers say

SUITE = "bookworm"
# The i386 tree comes from the archive this machine's apt is set up with.
APT_SOURCES = [path for path in ("/etc/apt/sources.list.d/debian.sources", "/etc/apt/sources.list")
               if os.path.isfile(path)]
# Wine and its 32-bit libraries, the kernel with its modules, a static shell
# for the initramfs, Python for the agent, and zlib1.dll, which Wine's
# user32.dll needs and libwine's scripts (not run in an extracted tree) copy.
# The kernel is the point release's, which changes only with the next one:
# the security suite's 6.1.194 oopsed in mmap while Wine made its prefix.
PACKAGES = (f"wine32,libwine,linux-image-686/{SUITE},busybox-static,python3,"
            "libz-mingw-w64")
WINE_WINDOWS_DIR = "usr/lib/i386-linux-gnu/wine/i386-windows"
# The kernel modules the initramfs loads, each after those it depends on.
MODULES = ["virtio_pci", "virtio_net", "9pnet_virtio", "9p"]
GUEST_AGENT_PORT = 7000
GUEST_ADDRESS = "10.0.2.15"  # QEMU's user network gives the guest this one
MEMORY_MB = 2048
# How the kernel's messages begin when it has failed (x86's oops, BUG() and
# general protection fault each also print a line "Oops:" or "...: 0000 [#1]").
OOPS_LINES = ("Oops:", "BUG: kernel NULL pointer dereference", "BUG: unable to handle",
              "kernel BUG at", "general protection fault")
BOOT_SECONDS = 180  # TCG on a busy machine: usually 15 s
IDLE_SECONDS = int(os.environ.get("LUMIVANE_I386_IDLE_SECONDS", "1800"))
# Variables a run takes along into the machine.
PASSED_VARIABLES = re.compile(r"^(WINE[A-Z_]*|LUMIVANE_[A-Z0-9_]*|TZ|LANG|LC_[A-Z]+)$")


def fail(message, status=1):
    print(f"i386-machine: {message}", file=sys.stderr)
    sys.exit(status)


# --- frames -------------------------------------------------------------------
# Both ends speak in frames: a type byte, a 4-byte length, the payload.
# To the machine: R the request (JSON), I standard input (empty: its end),
# K a signal's number. Back: A the run is taken (first), O standard output,
# E standard error, L a port the run listens on, X the exit status, F why the
# run could not start; or D alone: the machine is going down, boot another.

def send_frame(sock, kind, payload=b"", lock=None):
    data = kind.encode() + struct.pack(">I", len(payload)) + payload
    if lock is None:
        sock.sendall(data)
    else:
        with lock:
            sock.sendall(data)


def read_exactly(sock, count):
    data = b""
    while len(data) < count:
        chunk = sock.recv(count - len(data))
        if not chunk:
            return None
        data += chunk
    return data


def read_frame(sock):
    header = read_exactly(sock, 5)
    if header is None:
        return None, None
    length = struct.unpack(">I", header[1:])[0]
    payload = read_exactly(sock, length) if length else b""
    if payload is None:
        return None, None
    return header[:1].decode(), payload


def relay(source, target):
    """Copies bytes one way until either side closes, then closes both."""
    try:
        while True:
            data = source.recv(65536)
            if not data:
                break
            target.sendall(data)
    except OSError:
        pass
    for sock in (source, target):
        try:
            sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass


# --- the host's side: setting up ---------------------------------------------

def lock(path):
    """An exclusive lock on PATH, held while the returned file stays open."""
    import fcntl
    os.makedirs(os.path.dirname(path), exist_ok=True)
    handle = open(path, "w")
    fcntl.flock(handle, fcntl.LOCK_EX)
    return handle


def kernel_release():
    names = sorted(os.listdir(os.path.join(ROOT, "lib", "modules")))
    if not names:
        fail(f"no kernel modules in {ROOT}")
    return names[-1]


def module_paths():
    """The modules to load and what they need, in loading order."""
    base = os.path.join(ROOT, "lib", "modules", kernel_release(), "kernel")
    found = {}
    for folder, _, files in os.walk(base):
        for name in files:
            if name.endswith(".ko"):
                found[name[:-3].replace("-", "_")] = os.path.join(folder, name)
    order = []

    def add(name):
        if name in order:
            return
        if name not in found:
            fail(f"the kernel has no module {name}")
        with open(found[name], "rb") as module:
            depends = re.search(rb"depends=([^\0]*)", module.read())
        for needed in filter(None, (depends.group(1).decode().split(",") if depends else [])):
            add(needed.replace("-", "_"))
        order.append(name)

    for name in MODULES:
        add(name)
    return [(name, found[name]) for name in order]


INIT_SCRIPT = r"""#!/busybox sh
# PID 1 of the i386 machine: its file systems, its network, then the agent.
/busybox mkdir -p /proc /sys /dev /run /tree /bin /sbin /lib /usr /var /etc /root /tmp
/busybox mount -t proc proc /proc
/busybox mount -t sysfs sys /sys
/busybox mount -t devtmpfs dev /dev
/busybox mount -t tmpfs -o mode=755 run /run
/busybox mkdir -p /run/busybox
/busybox --install -s /run/busybox
export PATH=/run/busybox
for module in $(cat /modules/order); do
    insmod /modules/$module.ko || echo "init: insmod $module failed"
done
options=trans=virtio,version=9p2000.L,msize=512000,cache=loose
mount -t 9p -o $options,ro tree /tree || echo "init: no i386 tree"
for folder in bin sbin lib usr; do mount --bind /tree/$folder /$folder; done
mount -t tmpfs var /var
cp -a /tree/etc/. /etc/
echo 'root:x:0:0:root:/root:/bin/sh' >/etc/passwd
echo 'root:x:0:' >/etc/group
printf '127.0.0.1 localhost\n' >/etc/hosts
# The host's folders at their own paths: share0 is /tmp, the others below.
shares=$(sed -n 's/.*lumivane.shares=\([^ ]*\).*/\1/p' /proc/cmdline)
number=0
for path in $(echo "$shares" | tr ',' ' '); do
    mkdir -p "$path"
    mount -t 9p -o $options share$number "$path" || echo "init: cannot mount $path"
    number=$((number + 1))
done
# The shares' cache holds what a program writes until the kernel writes it
# back: every 50 ms here, so the host sees it while the program runs too.
echo 5 >/proc/sys/vm/dirty_writeback_centisecs
echo 5 >/proc/sys/vm/dirty_expire_centisecs
ip link set lo up
ip addr add 10.0.2.15/24 dev eth0
ip link set eth0 up
repo=$(sed -n 's/.*lumivane.repo=\([^ ]*\).*/\1/p' /proc/cmdline)
/usr/bin/python3 "$repo/cmake/i386-machine/machine.py" agent
echo "init: the agent ended; powering off"
sync
poweroff -f
"""


def cpio_entry(name, mode, data=b"", rdev=(0, 0)):
    """One member of a "newc" cpio archive, which the kernel unpacks."""
    name_bytes = name.encode() + b"\0"
    fields = [0, mode, 0, 0, 1, 0, len(data), 0, 0, rdev[0], rdev[1], len(name_bytes), 0]
    header = b"070701" + b"".join(b"%08X" % field for field in fields)
    pad = lambda size: b"\0" * (-size % 4)  # noqa: E731
    return header + name_bytes + pad(len(header) + len(name_bytes)) + data + pad(len(data))


def make_initrd():
    members = [cpio_entry("dev", 0o40755), cpio_entry("dev/console", 0o20600, rdev=(5, 1)),
               cpio_entry("modules", 0o40755)]
    with open(os.path.join(ROOT, "bin", "busybox"), "rb") as busybox:
        members.append(cpio_entry("busybox", 0o100755, busybox.read()))
    members.append(cpio_entry("init", 0o100755, INIT_SCRIPT.encode()))
    order = []
    for name, path in module_paths():
        with open(path, "rb") as module:
            members.append(cpio_entry(f"modules/{name}.ko", 0o100644, module.read()))
        order.append(name)
    members.append(cpio_entry("modules/order", 0o100644, ("\n".join(order) + "\n").encode()))
    members.append(cpio_entry("TRAILER!!!", 0))
    with open(INITRD + ".new", "wb") as initrd:
        initrd.write(b"".join(members))
    os.replace(INITRD + ".new", INITRD)


def tree_packages():
    """The packages the i386 tree was made of; None when there is no whole tree."""
    try:
        with open(os.path.join(ROOT, ".ready")) as ready:
            return ready.read().strip()
    except OSError:
        return None


def setup():
    """Makes the i386 tree and the initramfs, once; a cut-short setup is redone."""
    with lock(os.path.join(MACHINE_DIR, "setup.lock")):
        if tree_packages() != PACKAGES:
            if qemu_pid() is not None:  # a machine booted from the old tree
                stop()
            fresh = ROOT + ".new"
            subprocess.run(["rm", "-rf", fresh, ROOT], check=True)
            print(f"i386-machine: extracting Debian's i386 {SUITE} with Wine into {ROOT}",
                  file=sys.stderr)
            started = time.monotonic()
            result = subprocess.run(
                ["mmdebstrap", "--quiet", "--arch=i386", "--variant=extract",
                 f"--include={PACKAGES}", SUITE, fresh, *APT_SOURCES[:1]],
                stdin=subprocess.DEVNULL)
            if result.returncode != 0:
                fail("mmdebstrap could not make the i386 tree")
            # As libwine's script does: the DLL marked as one of Wine's own,
            # which Wine loads only from its own folder.
            with open(os.path.join(fresh, "usr/i686-w64-mingw32/lib/zlib1.dll"), "rb") as dll:
                zlib = dll.read()
            with open(os.path.join(fresh, WINE_WINDOWS_DIR, "zlib1.dll"), "wb") as dll:
                dll.write(zlib[:64] + b"Wine builtin DLL" + b"\0" * 16 + zlib[96:])
            if not os.path.lexists(os.path.join(fresh, "bin/sh")):
                os.symlink("busybox", os.path.join(fresh, "bin/sh"))
            with open(os.path.join(fresh, ".ready"), "w") as ready:
                ready.write(PACKAGES)
            os.rename(fresh, ROOT)
            print(f"i386-machine: tree made in {time.monotonic() - started:.0f} s",
                  file=sys.stderr)
        if (not os.path.isfile(INITRD)
                or os.path.getmtime(INITRD) < os.path.getmtime(os.path.abspath(__file__))):
            make_initrd()


# --- the host's side: running it ----------------------------------------------

def shared_folders():
    """The host's folders the machine sees at their own paths: /tmp first."""
    folders = ["/tmp"]
    if not (REPO + "/").startswith("/tmp/"):
        folders.append(REPO)
    for folder in folders:
        if re.search(r"[\s,]", folder):
            fail(f"cannot share {folder}: its path holds a space or a comma")
    return folders


def agent_address():
    try:
        with open(PORT_FILE) as port, open(TOKEN_FILE) as token:
            return int(port.read()), token.read().strip()
    except (OSError, ValueError):
        return None, None


def qemu_pid():
    try:
        with open(PID_FILE) as pid_file:
            pid = int(pid_file.read())
        os.kill(pid, 0)
        return pid
    except (OSError, ValueError):
        return None


def ask(request, timeout=10):
    """Sends one request to the agent; its reply frame's payload, or None."""
    port, token = agent_address()
    if port is None:
        return None
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=timeout) as sock:
            request["token"] = token
            send_frame(sock, "R", json.dumps(request).encode())
            kind, payload = read_frame(sock)
            return payload if kind == "X" else None
    except OSError:
        return None


def running():
    return qemu_pid() is not None and ask({"ping": True}) is not None


def free_port():
    with socket.socket() as sock:
        sock.bind(("127.0.0.1", 0))
        return sock.getsockname()[1]


def start():
    setup()
    with lock(os.path.join(MACHINE_DIR, "run.lock")):
        if running():
            return
        pid = qemu_pid()
        if pid is not None:  # up but its agent does not answer: start again
            os.kill(pid, signal.SIGKILL)
        subprocess.run(["rm", "-rf", RUN_DIR], check=True)
        os.makedirs(RUN_DIR, mode=0o700)
        token = secrets.token_hex(16)
        descriptor = os.open(TOKEN_FILE, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
        os.write(descriptor, token.encode())
        os.close(descriptor)
        port = free_port()
        folders = shared_folders()
        kernel = os.path.join(ROOT, "boot", "vmlinuz-" + kernel_release())
        command = [
            # One emulated processor per host core, each on a thread of its own.
            "qemu-system-i386", "-accel", "tcg,thread=multi", "-smp", str(os.cpu_count() or 1),
            "-m", str(MEMORY_MB),
            "-display", "none", "-monitor", "none", "-serial", f"file:{CONSOLE_LOG}",
            "-kernel", kernel, "-initrd", INITRD,
            "-append", f"console=ttyS0 quiet panic=-1 lumivane.repo={REPO} "
                       f"lumivane.shares={','.join(folders)}",
            # No way out: the host reaches the agent, and nothing else.
            "-nic", f"user,model=virtio-net-pci,restrict=on,"
                    f"hostfwd=tcp:127.0.0.1:{port}-{GUEST_ADDRESS}:{GUEST_AGENT_PORT}",
            "-virtfs", f"local,path={ROOT},mount_tag=tree,security_model=none,readonly=on",
            "-no-reboot", "-daemonize", "-pidfile", PID_FILE,
        ]
        for number, folder in enumerate(folders):
            command += ["-virtfs", f"local,path={folder},mount_tag=share{number},"
                                   "security_model=none"]
        started = time.monotonic()
        result = subprocess.run(command, stdin=subprocess.DEVNULL)
        if result.returncode != 0:
            fail("qemu-system-i386 did not start")
        with open(PORT_FILE, "w") as port_file:
            port_file.write(str(port))
        while not running():
            if qemu_pid() is None:
                fail(f"the machine stopped while booting; its console: {CONSOLE_LOG}")
            if time.monotonic() - started > BOOT_SECONDS:
                stop()
                fail(f"the machine did not answer in {BOOT_SECONDS} s; its console: {CONSOLE_LOG}")
            time.sleep(0.2)
        print(f"i386-machine: booted in {time.monotonic() - started:.1f} s", file=sys.stderr)


def stop():
    """Asks the agent to stop the machine (the wineservers save their registries
    first), then waits for QEMU; kills it when it does not end."""
    pid = qemu_pid()
    if pid is None:
        return
    ask({"shutdown": True}, timeout=60)
    deadline = time.monotonic() + 60
    while qemu_pid() is not None and time.monotonic() < deadline:
        time.sleep(0.2)
    if qemu_pid() is not None:
        os.kill(pid, signal.SIGKILL)


def run(argv):
    """Runs ARGV in the machine in this folder; exits with its status."""
    cwd = os.getcwd()
    if not any(cwd == folder or cwd.startswith(folder + "/") for folder in shared_folders()):
        fail(f"{cwd} is not shared with the i386 machine (only {', '.join(shared_folders())})",
             126)
    environment = {name: value for name, value in os.environ.items()
                   if PASSED_VARIABLES.match(name)}
    request = {"run": argv, "cwd": cwd, "env": environment}
    while True:
        port, token = agent_address()
        if port is None or qemu_pid() is None:
            start()
            port, token = agent_address()
        sock = socket.create_connection(("127.0.0.1", port))
        send_frame(sock, "R", json.dumps(dict(request, token=token)).encode())
        kind, _ = read_frame(sock)
        if kind != "D":  # "A": the run is taken
            break
        # The machine's kernel failed and it is powering off: wait for that,
        # then boot another.
        sock.close()
        deadline = time.monotonic() + 30
        while qemu_pid() is not None and time.monotonic() < deadline:
            time.sleep(0.2)
        if qemu_pid() is not None:
            stop()
    send_lock = threading.Lock()

    def pass_signal(number, _frame):
        try:
            send_frame(sock, "K", str(number).encode(), send_lock)
        except OSError:
            os._exit(128 + number)

    for number in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(number, pass_signal)

    def pass_input():
        try:
            while True:
                data = os.read(0, 65536)
                send_frame(sock, "I", data, send_lock)
                if not data:
                    return
        except OSError:
            pass

    threading.Thread(target=pass_input, daemon=True).start()
    listeners = []
    while True:
        kind, payload = read_frame(sock)
        if kind is None:
            fail("the i386 machine ended the run", 125)
        elif kind == "O":
            os.write(1, payload)
        elif kind == "E":
            os.write(2, payload)
        elif kind == "L":
            listeners.append(tunnel(int(payload), port, token))
        elif kind == "F":
            fail(payload.decode(), 127)
        elif kind == "X":
            sys.exit(int(payload))


def tunnel(listened_port, agent_port, token):
    """Listens on 127.0.0.1:LISTENED_PORT and carries each connection to the
    same port inside, through a connection of its own to the agent."""
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    try:
        server.bind(("127.0.0.1", listened_port))
    except OSError as error:
        print(f"i386-machine: cannot listen on 127.0.0.1:{listened_port} as the program "
              f"inside does: {error}", file=sys.stderr)
        return None
    server.listen(64)

    def carry(client):
        try:
            inside = socket.create_connection(("127.0.0.1", agent_port))
            send_frame(inside, "R", json.dumps({"token": token,
                                                "connect": listened_port}).encode())
        except OSError:
            client.close()
            return
        threading.Thread(target=relay, args=(client, inside), daemon=True).start()
        relay(inside, client)

    def accept():
        while True:
            client, _ = server.accept()
            threading.Thread(target=carry, args=(client,), daemon=True).start()

    threading.Thread(target=accept, daemon=True).start()
    return server


# --- the machine's side: the agent ---------------------------------------------

class Agent:
    def __init__(self):
        with open(TOKEN_FILE) as token:
            self.token = token.read().strip()
        self.lock = threading.Lock()
        self.claimed = set()  # listening sockets' inodes, each reported to one run
        self.running = {}  # a running run's process -> (its prefix, its socket, its send lock)
        self.servers = {}  # prefix -> its persistent wineserver's process
        self.kernel_failed = False
        self.active = 0
        self.last_active = time.monotonic()
        self.shares = [folder for folder in open("/proc/cmdline").read().split("lumivane.shares=")
                       [1].split()[0].split(",")]
        self.base_environment = {
            "PATH": "/usr/lib/wine:/usr/bin:/bin:/usr/sbin:/sbin:/run/busybox",
            "HOME": "/root", "USER": "root", "LOGNAME": "root",
            # Wine's server makes its socket below TMPDIR: on 9p it could not.
            "TMPDIR": "/run/wine",
        }
        os.makedirs("/run/wine", exist_ok=True)
        self.libc = ctypes.CDLL(None, use_errno=True)

    def serve(self):
        server = socket.socket()
        server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        server.bind((GUEST_ADDRESS, GUEST_AGENT_PORT))
        server.listen(64)
        self.claimed.add(str(os.fstat(server.fileno()).st_ino))  # its own
        threading.Thread(target=self.stop_when_idle, daemon=True).start()
        threading.Thread(target=self.end_runs_of_lost_servers, daemon=True).start()
        threading.Thread(target=self.watch_the_kernel, daemon=True).start()
        print("agent: ready", flush=True)
        while True:
            sock, _ = server.accept()
            threading.Thread(target=self.handle, args=(sock,), daemon=True).start()

    def stop_when_idle(self):
        """Powers off when no run came for IDLE_SECONDS: a machine whose tests
        ended without stopping it does not stay up."""
        while True:
            time.sleep(30)
            with self.lock:
                idle = self.active == 0 and time.monotonic() - self.last_active > IDLE_SECONDS
            if idle:
                self.power_off()

    def power_off(self):
        for prefix in list(self.servers):
            subprocess.run(["wineserver", "-k"], env=self.environment({"WINEPREFIX": prefix}),
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.sync()
        self.libc.reboot(0x4321FEDC)  # LINUX_REBOOT_CMD_POWER_OFF

    def environment(self, extra):
        environment = dict(self.base_environment)
        environment.update(extra)
        return environment

    def handle(self, sock):
        try:
            kind, payload = read_frame(sock)
            request = json.loads(payload) if kind == "R" else {}
            if not secrets.compare_digest(str(request.get("token", "")), self.token):
                return
            if "ping" in request:
                send_frame(sock, "X", b"0")
            elif "shutdown" in request:
                send_frame(sock, "X", b"0")
                self.power_off()
            elif "connect" in request:
                inside = socket.create_connection(("127.0.0.1", int(request["connect"])))
                threading.Thread(target=relay, args=(sock, inside), daemon=True).start()
                relay(inside, sock)
            elif "run" in request and self.kernel_failed:
                send_frame(sock, "D")  # powering off: the caller boots another
            elif "run" in request:
                with self.lock:
                    self.active += 1
                try:
                    self.run(sock, request)
                finally:
                    with self.lock:
                        self.active -= 1
                        self.last_active = time.monotonic()
        except (OSError, ValueError) as error:
            print(f"agent: {error}", flush=True)
        finally:
            sock.close()

    def forget_cached_files(self):
        """Remounting a 9p share drops its unused cached names, so a file the
        host changed or made since is looked up afresh (cache=loose keeps
        them otherwise; programs must map their files from such a cache)."""
        for folder in self.shares:
            self.libc.mount(None, folder.encode(), None, 32, None)  # MS_REMOUNT

    def start_wineserver(self, environment):
        """One persistent wineserver per prefix, started here rather than by
        a run, so that it outlives every run and no run's output waits on it.
        One that has ended is started again and said so: the programs of a
        prefix whose server is gone wait for it forever."""
        prefix = environment.get("WINEPREFIX")
        if not prefix or not os.path.isfile(os.path.join(prefix, "system.reg")):
            return
        with self.lock:
            server = self.servers.get(prefix)
            if server is not None:
                if server.poll() is None:
                    return
                print(f"agent: the wineserver of {prefix} ended with status "
                      f"{server.returncode}; starting another ({SERVER_LOG})", flush=True)
            # Debian's Wine notes its server's folder in the prefix: one of an
            # earlier boot is gone.
            try:
                os.remove(os.path.join(prefix, "wineserver"))
            except OSError:
                pass
            self.keep_temp_in_memory(prefix)
            with open(SERVER_LOG, "ab") as log:
                log.write(f"--- {prefix}\n".encode())
                log.flush()
                # In the foreground, so that its end is seen; its own
                # messages go to the log.
                self.servers[prefix] = subprocess.Popen(
                    ["wineserver", "--foreground", "--persistent"], env=environment,
                    stdin=subprocess.DEVNULL, stdout=log, stderr=log)

    def keep_temp_in_memory(self, prefix):
        """The prefix's temp folder, where the tests make and remove their
        scenarios, is a tmpfs of the machine's: on the share every name
        costs a round trip to QEMU, and the driver's tests take a sixth
        longer. What a run leaves there goes with the machine."""
        users = os.path.join(prefix, "drive_c", "users")
        for user in os.listdir(users) if os.path.isdir(users) else []:
            temp = os.path.join(users, user, "Temp")
            if os.path.isdir(temp) and not os.path.ismount(temp):
                if self.libc.mount(b"prefix-temp", temp.encode(), b"tmpfs", 0, b"mode=1777"):
                    print(f"agent: {temp} stays on the share: "
                          f"{os.strerror(ctypes.get_errno())}", flush=True)

    def end_runs_of_lost_servers(self):
        """A prefix's programs wait forever for a wineserver that has ended:
        the runs of that prefix are ended at once, and say why."""
        while True:
            time.sleep(0.5)
            with self.lock:
                lost = {prefix for prefix, server in self.servers.items()
                        if server.poll() is not None}
                victims = [(process, sock, send_lock)
                           for process, (prefix, sock, send_lock) in self.running.items()
                           if prefix in lost]
                for process, _, _ in victims:
                    del self.running[process]
            if victims:
                self.end_runs(victims, "i386-machine: the prefix's wineserver ended while this "
                                       f"ran; the run is ended ({SERVER_LOG})")

    def watch_the_kernel(self):
        """A program that meets a kernel oops hangs, and so may every other
        one that needs its memory: every run is ended at once, saying why, and
        the machine powers off, so that the next call boots a sound one."""
        with open("/dev/kmsg", "rb", buffering=0) as messages:
            os.lseek(messages.fileno(), 0, os.SEEK_END)  # what comes from now on
            while True:
                try:
                    record = messages.read(8192).decode(errors="replace")
                except OSError:  # records were overwritten before this read them
                    continue
                text = record.split(";", 1)[-1].strip()
                # An oops, not a warning: a loaded host's "BUG: workqueue lockup"
                # or soft lockup passes.
                if text.startswith(OOPS_LINES):
                    break
        with self.lock:
            self.kernel_failed = True
            victims = [(process, sock, send_lock)
                       for process, (_, sock, send_lock) in self.running.items()]
            self.running.clear()
        self.end_runs(victims, f"i386-machine: the machine's kernel failed ({text}); the run "
                               f"is ended and the machine powered off ({CONSOLE_LOG})")
        time.sleep(4)  # the ended runs send their statuses (2 s after their programs end)
        self.libc.reboot(0x4321FEDC)  # not power_off: its wineserver -k may hang as well

    def end_runs(self, victims, message):
        print(f"agent: {message}", flush=True)
        for process, sock, send_lock in victims:
            try:
                send_frame(sock, "E", (message + "\n").encode(), send_lock)
            except OSError:
                pass
            self.kill(process, signal.SIGKILL)

    def run(self, sock, request):
        send_lock = threading.Lock()
        send_frame(sock, "A", b"", send_lock)  # taken: the caller passes its input now
        environment = self.environment(request.get("env", {}))
        self.forget_cached_files()
        self.start_wineserver(environment)
        try:
            process = subprocess.Popen(request["run"], cwd=request["cwd"], env=environment,
                                       stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                       stderr=subprocess.PIPE, start_new_session=True)
        except OSError as error:
            send_frame(sock, "F", f"cannot run {request['run'][0]}: {error}".encode())
            return
        with self.lock:
            self.running[process] = (environment.get("WINEPREFIX"), sock, send_lock)
        output = []  # (kind, data), in the order they came
        arrived = threading.Condition()

        def read(stream, kind):
            while True:
                data = os.read(stream.fileno(), 65536)
                with arrived:
                    output.append((kind, data))
                    arrived.notify()
                if not data:
                    return

        for stream, kind in ((process.stdout, "O"), (process.stderr, "E")):
            threading.Thread(target=read, args=(stream, kind), daemon=True).start()

        def take_frames():
            while True:
                kind, payload = read_frame(sock)
                if kind is None:  # the caller is gone
                    self.kill(process, signal.SIGKILL)
                    return
                if kind == "I":
                    try:
                        if payload:
                            process.stdin.write(payload)
                            process.stdin.flush()
                        else:
                            process.stdin.close()
                    except (OSError, ValueError):
                        pass
                elif kind == "K":
                    self.kill(process, int(payload))

        threading.Thread(target=take_frames, daemon=True).start()
        ended_streams = 0
        exited_at = None
        while ended_streams < 2:
            with arrived:
                if not output:
                    arrived.wait(0.5)
                taken, output[:] = output[:], []
            if any(data for _, data in taken):
                self.report_listeners(sock, send_lock)
            for kind, data in taken:
                if data:
                    send_frame(sock, kind, data, send_lock)
                else:
                    ended_streams += 1
            if process.poll() is not None:
                # A program's child may keep its output open: a little of it
                # still comes, then the run ends as the program did.
                exited_at = exited_at or time.monotonic()
                if time.monotonic() - exited_at > 2:
                    break
        status = process.wait()
        with self.lock:
            self.running.pop(process, None)
        # What the program wrote is on the host's side when its run returns.
        os.sync()
        send_frame(sock, "X", str(status if status >= 0 else 128 - status).encode(), send_lock)

    @staticmethod
    def kill(process, number):
        try:
            os.killpg(process.pid, number)
        except OSError:
            pass

    def report_listeners(self, sock, send_lock):
        """Tells the caller of each TCP socket that began listening since the
        last look. Wine's server holds every socket, so no process shows
        whose it is: it is the run's that prints next (a program prints its
        address once it listens), and each socket goes to one run."""
        listening = {}
        for table in ("/proc/net/tcp", "/proc/net/tcp6"):
            try:
                with open(table) as lines:
                    next(lines)
                    for line in lines:
                        fields = line.split()
                        if fields[3] == "0A":
                            listening[fields[9]] = int(fields[1].rsplit(":", 1)[1], 16)
            except OSError:
                pass
        with self.lock:
            new = {inode: port for inode, port in listening.items() if inode not in self.claimed}
            self.claimed.update(new)
        for port in new.values():
            send_frame(sock, "L", str(port).encode(), send_lock)


def main():
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    command, arguments = sys.argv[1], sys.argv[2:]
    if arguments[:1] == ["--"]:
        arguments = arguments[1:]
    if command == "setup":
        setup()
    elif command == "start":
        start()
    elif command == "stop":
        stop()
    elif command == "status":
        print("running" if running() else "stopped")
        sys.exit(0 if running() else 1)
    elif command == "run" and arguments:
        run(arguments)
    elif command == "shell":
        run(["/run/busybox/sh", "-i"])
    elif command == "agent":
        Agent().serve()
    else:
        print(__doc__, file=sys.stderr)
        sys.exit(2)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""The native drive transport against a real Linux kernel.

Boots Debian's current kernel under QEMU (TCG) with three emulated drives: an AHCI ATAPI drive
holding an ISO image, an empty AHCI ATAPI drive, and a virtio-scsi CD-ROM that refuses READ CD.
Inside, native_drive_probe (linked against the engine) and tonalda-cli report what the engine saw;
this script swaps the disc through the QEMU monitor when the probe asks for it, then checks every
report against what it knows from outside: the ISO images, the QEMU set-up and sysfs.

The kernel package comes from Debian's archive (apt-get download); the unpacked kernel, its
modules and the fixed part of the initramfs are cached under --cache, so later runs only boot.
"""

import argparse
import gzip
import json
import lzma
import os
import random
import select
import shutil
import socket
import subprocess
import sys
import tempfile
import time
from pathlib import Path

WANTED_MODULES = ["sr_mod", "sg", "ahci", "virtio_pci", "virtio_scsi"]
VSCSI_VENDOR = "TONTEST"
VSCSI_PRODUCT = "VSCSI CD-ROM"
USER_UID = 1000
BOOT_DEADLINE_S = 1200
INSERT_DISC_LIST_TEXT = "Please   Insert   An   Audio CD!"
INSERT_DISC_MESSAGE = "Please insert an audio CD in your CD-ROM and press 'Refresh' button"

EPERM, EACCES = 1, 13
NOT_READY, UNIT_ATTENTION, ILLEGAL_REQUEST = 2, 6, 5
OP_INQUIRY, OP_MODE_SELECT, OP_READ_CD, OP_SET_SPEED = 0x12, 0x15, 0xBE, 0xBB


class SetupError(Exception):
    """Something the test needs could not be prepared; the message says what and why."""


def log(text):
    print(f"native_drive_vm: {text}", flush=True)


def run(command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, **kwargs)


def require_tool(name):
    if shutil.which(name) is None:
        raise SetupError(f"{name} is not installed; run scripts/install-deps.sh")


# ---- the kernel -------------------------------------------------------------------------------


def resolve_kernel_package():
    """The versioned image package that Debian's linux-image-amd64 depends on right now."""

    def ask():
        result = run(["apt-cache", "depends", "linux-image-amd64"])
        for line in result.stdout.splitlines():
            name = line.strip().removeprefix("Depends:").strip()
            if line.strip().startswith("Depends:") and name.startswith("linux-image-"):
                return name
        return None

    package = ask()
    if package is None and os.geteuid() == 0:
        log("package lists lack linux-image-amd64; running apt-get update")
        run(["apt-get", "update", "-qq"])
        package = ask()
    if package is None:
        raise SetupError("cannot tell which kernel Debian ships: apt-cache depends "
                         "linux-image-amd64 names no linux-image package (run apt-get update)")
    return package


def module_closure(modules_dir, wanted):
    """Paths (relative to modules_dir) of the wanted modules and all they depend on."""
    depends = {}
    for line in (modules_dir / "modules.dep").read_text().splitlines():
        module, _, rest = line.partition(":")
        depends[module] = rest.split()
    by_name = {}
    for module in depends:
        base = Path(module).name.split(".ko")[0]
        by_name[base.replace("-", "_")] = module
    closure = set()
    for name in wanted:
        if name not in by_name:
            raise SetupError(f"the kernel package has no module {name}")
        closure.add(by_name[name])
        closure.update(depends[by_name[name]])
    return sorted(closure)


def fetch_kernel(cache):
    """Returns (version, vmlinuz, modules root) from the cache, downloading on first use."""
    for ready in sorted(cache.glob("kernel-*/complete"), reverse=True):
        folder = ready.parent
        version = folder.name.removeprefix("kernel-")
        return version, folder / "vmlinuz", folder / "modules"

    require_tool("apt-get")
    require_tool("dpkg-deb")
    require_tool("depmod")
    package = resolve_kernel_package()
    version = package.removeprefix("linux-image-")
    log(f"downloading {package} from the Debian archive")
    cache.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory(dir=cache) as scratch:
        scratch = Path(scratch)
        download = run(["apt-get", "download", "-o", "APT::Sandbox::User=root", package],
                       cwd=scratch)
        debs = list(scratch.glob("*.deb"))
        if download.returncode != 0 or not debs:
            raise SetupError(f"apt-get download {package} failed (is the Debian mirror "
                             f"reachable?):\n{download.stderr.strip()}")
        unpacked = scratch / "root"
        unpack = run(["dpkg-deb", "-x", str(debs[0]), str(unpacked)])
        if unpack.returncode != 0:
            raise SetupError(f"dpkg-deb -x {debs[0].name} failed:\n{unpack.stderr.strip()}")
        source_modules = unpacked / "lib/modules" / version
        if not (source_modules / "modules.dep").exists():
            run(["depmod", "-b", str(unpacked), version])

        folder = cache / f"kernel-{version}"
        shutil.rmtree(folder, ignore_errors=True)
        target_modules = folder / "modules/lib/modules" / version
        for module in module_closure(source_modules, WANTED_MODULES):
            source = source_modules / module
            target = target_modules / module.removesuffix(".xz")
            target.parent.mkdir(parents=True, exist_ok=True)
            data = source.read_bytes()
            target.write_bytes(lzma.decompress(data) if module.endswith(".xz") else data)
        for extra in ("modules.order", "modules.builtin", "modules.builtin.modinfo"):
            if (source_modules / extra).exists():
                shutil.copy(source_modules / extra, target_modules / extra)
        depmod = run(["depmod", "-b", str(folder / "modules"), version])
        if depmod.returncode != 0:
            raise SetupError(f"depmod failed:\n{depmod.stderr.strip()}")
        shutil.copy(unpacked / "boot" / f"vmlinuz-{version}", folder / "vmlinuz")
        (folder / "complete").write_text(package + "\n")
    return version, folder / "vmlinuz", folder / "modules"


# ---- the initramfs ----------------------------------------------------------------------------


class Cpio:
    """A newc cpio archive as the kernel unpacks it into its initial root file system."""

    def __init__(self):
        self.chunks = []
        self.made = set()
        self.inode = 1

    def _entry(self, name, mode, data=b"", rdev=(0, 0)):
        name = name.lstrip("/")
        fields = [self.inode, mode, 0, 0, 1, 0, len(data), 0, 0, rdev[0], rdev[1],
                  len(name) + 1, 0]
        self.inode += 1
        header = b"070701" + b"".join(b"%08X" % value for value in fields)
        record = header + name.encode() + b"\0"
        record += b"\0" * (-len(record) % 4)
        self.chunks.append(record + data + b"\0" * (-len(data) % 4))

    def directory(self, path):
        path = "/" + path.strip("/")
        if path == "/" or path in self.made:
            return
        self.directory(os.path.dirname(path))
        self.made.add(path)
        self._entry(path, 0o040755)

    def file(self, path, data, mode=0o644):
        self.directory(os.path.dirname(path))
        self._entry(path, 0o100000 | mode, data)

    def device(self, path, major, minor):
        self.directory(os.path.dirname(path))
        self._entry(path, 0o020600, rdev=(major, minor))

    def compressed(self):
        self._entry("TRAILER!!!", 0)
        return gzip.compress(b"".join(self.chunks), compresslevel=1)


def shared_libraries(binary):
    """The libraries the dynamic loader maps for the binary, with the loader itself."""
    result = run(["ldd", str(binary)])
    if result.returncode != 0:
        raise SetupError(f"ldd {binary} failed:\n{result.stderr.strip()}")
    paths = []
    for line in result.stdout.splitlines():
        line = line.strip()
        if "not found" in line:
            raise SetupError(f"{binary} needs a library that is not installed: {line}")
        if "=>" in line:
            path = line.split("=>", 1)[1].split("(")[0].strip()
        else:
            path = line.split("(")[0].strip()
        if path.startswith("/"):
            paths.append(path)
    return paths


def base_initramfs(cache, version, modules_root):
    """Busybox and the kernel modules; cached per kernel."""
    cached = cache / f"initramfs-base-{version}.cpio.gz"
    if cached.exists():
        return cached.read_bytes()
    busybox = Path(shutil.which("busybox") or "/bin/busybox")
    if run(["ldd", str(busybox)]).returncode == 0:
        raise SetupError(f"{busybox} is linked dynamically; install busybox-static")
    archive = Cpio()
    for folder in ("dev", "proc", "sys", "tmp", "root", "bin"):
        archive.directory(folder)
    archive.device("/dev/console", 5, 1)
    archive.file("/bin/busybox", busybox.read_bytes(), 0o755)
    for path in sorted(modules_root.rglob("*")):
        if path.is_file():
            archive.file("/" + str(path.relative_to(modules_root)), path.read_bytes())
    data = archive.compressed()
    cached.write_bytes(data)
    return data


def program_initramfs(init_script, programs):
    """The init script and our programs with the libraries they load; built for every run."""
    archive = Cpio()
    archive.file("/init", Path(init_script).read_bytes(), 0o755)
    libraries = set()
    for program in programs:
        archive.file(f"/opt/tonalda/bin/{Path(program).name}", Path(program).read_bytes(), 0o755)
        libraries.update(shared_libraries(program))
    for library in sorted(libraries):
        archive.file(library, Path(library).resolve().read_bytes(), 0o755)
    return archive.compressed()


# ---- the discs --------------------------------------------------------------------------------


def make_iso(folder, name, seed, file_sizes):
    """An ISO 9660 image of files with seeded random contents; returns its sectors."""
    content = folder / f"{name}-files"
    shutil.rmtree(content, ignore_errors=True)
    content.mkdir(parents=True)
    generator = random.Random(seed)
    for index, size in enumerate(file_sizes):
        (content / f"file{index}.bin").write_bytes(generator.randbytes(size))
    image = folder / f"{name}.iso"
    tool = shutil.which("genisoimage") or shutil.which("xorriso")
    if tool is None:
        raise SetupError("neither genisoimage nor xorriso is installed; run scripts/install-deps.sh")
    command = [tool] if tool.endswith("genisoimage") else [tool, "-as", "mkisofs"]
    made = run(command + ["-quiet", "-V", name.upper(), "-o", str(image), str(content)])
    if made.returncode != 0:
        raise SetupError(f"making {image.name} failed:\n{made.stderr.strip()}")
    data = image.read_bytes()
    return image, [data[i:i + 2048] for i in range(0, len(data), 2048)]


def fnv1a(data):
    value = 0xcbf29ce484222325
    for byte in data:
        value = ((value ^ byte) * 0x100000001b3) & 0xFFFFFFFFFFFFFFFF
    return f"{value:016x}"


# ---- the VM -----------------------------------------------------------------------------------


class Monitor:
    """The QEMU machine protocol over its unix socket."""

    def __init__(self, path, qemu):
        deadline = time.monotonic() + 30
        while True:
            try:
                self.sock = socket.socket(socket.AF_UNIX)
                self.sock.connect(str(path))
                break
            except OSError as error:
                self.sock.close()
                if qemu.poll() is not None or time.monotonic() > deadline:
                    output = qemu.stdout.read().decode(errors="replace") if qemu.poll() else ""
                    raise SetupError(f"cannot reach the QEMU monitor ({error}); "
                                     f"QEMU said:\n{output.strip()}") from error
                time.sleep(0.2)
        self.reader = self.sock.makefile("r")
        json.loads(self.reader.readline())  # the greeting
        self.execute("qmp_capabilities")

    def execute(self, command, **arguments):
        message = {"execute": command}
        if arguments:
            message["arguments"] = arguments
        self.sock.sendall(json.dumps(message).encode() + b"\n")
        while True:
            reply = json.loads(self.reader.readline())
            if "return" in reply:
                return reply["return"]
            if "error" in reply:
                raise SetupError(f"QEMU monitor refused {command}: {reply['error']}")

    def close(self):
        self.reader.close()
        self.sock.close()


def boot(work, kernel, initramfs, disc1, disc2):
    """Boots the VM, answers the probe's request for a medium change, returns the console."""
    monitor_path = work / "qmp.sock"
    monitor_path.unlink(missing_ok=True)
    # The initramfs unpacks into RAM: sanitizer builds of the programs make it several times
    # larger, so the memory grows with it (about 8 times the compressed size is room enough).
    memory_mib = 512 + 8 * (initramfs.stat().st_size >> 20)
    command = [
        "qemu-system-x86_64", "-accel", "tcg", "-m", str(memory_mib), "-smp", "1", "-nodefaults",
        "-no-reboot", "-display", "none", "-serial", "stdio",
        "-qmp", f"unix:{monitor_path},server=on,wait=off",
        "-kernel", str(kernel), "-initrd", str(initramfs),
        "-append", "console=ttyS0 quiet loglevel=3 panic=-1",
        "-device", "ahci,id=ahci",
        "-drive", f"if=none,id=disc,file={disc1},format=raw,media=cdrom,readonly=on",
        "-device", "ide-cd,id=atapi-disc,drive=disc,bus=ahci.0",
        "-drive", "if=none,id=nodisc,media=cdrom",
        "-device", "ide-cd,id=atapi-empty,drive=nodisc,bus=ahci.1",
        "-device", "virtio-scsi-pci,id=vscsi",
        "-drive", f"if=none,id=vdisc,file={disc1},format=raw,media=cdrom,readonly=on",
        "-device", f"scsi-cd,id=scsi-disc,drive=vdisc,bus=vscsi.0,vendor={VSCSI_VENDOR},"
                   f"product={VSCSI_PRODUCT}",
    ]
    console_log = work / "console.log"
    lines = []
    with open(console_log, "w") as console, subprocess.Popen(
            command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
            stderr=subprocess.STDOUT) as qemu:
        monitor = Monitor(monitor_path, qemu)
        deadline = time.monotonic() + BOOT_DEADLINE_S
        pending = b""
        try:
            while True:
                if time.monotonic() > deadline:
                    raise SetupError(f"the VM did not finish within {BOOT_DEADLINE_S} s; "
                                     f"see {console_log}")
                ready, _, _ = select.select([qemu.stdout], [], [], 1.0)
                if not ready:
                    continue
                chunk = os.read(qemu.stdout.fileno(), 65536)
                if not chunk:
                    break
                pending += chunk
                *complete, pending = pending.split(b"\n")
                for raw in complete:
                    line = raw.decode(errors="replace").rstrip("\r")
                    console.write(line + "\n")
                    lines.append(line)
                    if line.startswith("@@ ") and '"medium-change"' in line:
                        # The drive's tray opens and closes on the second disc, as a user would.
                        monitor.execute("eject", id="atapi-disc", force=True)
                        monitor.execute("blockdev-change-medium", id="atapi-disc",
                                        filename=str(disc2), format="raw",
                                        **{"read-only-mode": "read-only"})
                        qemu.stdin.write(b"changed\n")
                        qemu.stdin.flush()
        finally:
            monitor.close()
            if qemu.poll() is None:
                qemu.kill()
        qemu.wait()
    return lines


# ---- the checks -------------------------------------------------------------------------------


class Checks:
    def __init__(self):
        self.failures = []
        self.passed = 0

    def check(self, condition, what, detail=""):
        if condition:
            self.passed += 1
        else:
            self.failures.append(what + (f": {detail}" if detail else ""))
            log(f"FAILED {what}" + (f": {detail}" if detail else ""))
        return condition


def parse(lines):
    events, cli, current = [], {}, None
    for line in lines:
        if line.startswith("@@ "):
            try:
                event = json.loads(line[3:])
            except json.JSONDecodeError:
                continue
            events.append(event)
            if event["event"] == "cli" and event["stage"] == "begin":
                current = {"lines": []}
            elif event["event"] == "cli" and event["stage"] == "end" and current is not None:
                current["code"] = event["code"]
                cli[event["args"]] = current
                current = None
        elif line.startswith("|| ") and current is not None:
            current["lines"].append(line[3:])
    return events, cli


def events_of(events, name, **match):
    return [e for e in events if e["event"] == name and all(e.get(k) == v for k, v in match.items())]


def one(events, name, **match):
    found = events_of(events, name, **match)
    return found[0] if found else {}


def msf(lba):
    frames = lba + 150
    return [0, frames // 4500, frames // 75 % 60, frames % 75]


def lba_bytes(lba):
    return list(lba.to_bytes(4, "big"))


def check_toc(checks, toc, sectors, what):
    if not checks.check(toc.get("result") == 1, f"{what}: READ TOC succeeds", toc):
        return
    want_track = [1, None, 0, 0, 0, 0] if toc["mode"] == "lba" else [1, None] + msf(0)
    want_out = [0xAA, None] + (lba_bytes(sectors) if toc["mode"] == "lba" else msf(sectors))
    got = toc["descriptors"]
    checks.check(toc["first"] == 1 and toc["last"] == 1 and len(got) == 2,
                 f"{what}: one track and the lead-out", got)
    if len(got) == 2:
        checks.check(got[0][1] & 0x04 and [got[0][0]] + got[0][2:] == [1] + want_track[2:],
                     f"{what}: track 1 is a data track at the start", got[0])
        checks.check([got[1][0]] + got[1][2:] == [0xAA] + want_out[2:],
                     f"{what}: the lead-out is at sector {sectors}", got[1])


def check_reads(checks, reads, sectors, what, method=None):
    """Every frame read is a raw 2352-byte frame whose user data is the ISO's sector."""
    if not checks.check(reads and all(r["result"] == 1 for r in reads), f"{what}: reads succeed",
                        [r for r in reads if r["result"] != 1][:1]):
        return
    checks.check(all(r["length"] == r["frames"] * 2352 for r in reads),
                 f"{what}: whole raw frames", [(r["lba"], r["length"]) for r in reads])
    methods = {r["method"] for r in reads}
    checks.check(method is None or methods == {method}, f"{what}: read method {method}", methods)
    bad = []
    for read in reads:
        for offset, (head, digest) in enumerate(read["data"]):
            lba = read["lba"] + offset
            header = bytes.fromhex(head)
            minute, second, frame = header[12:15]
            position = lba + 150
            binary = (minute, second, frame) == (position // 4500, position // 75 % 60,
                                                 position % 75)
            bcd = f"{minute:02x}{second:02x}{frame:02x}" == \
                f"{position // 4500:02d}{position // 75 % 60:02d}{position % 75:02d}"
            if header[:12] != b"\x00" + b"\xff" * 10 + b"\x00" or header[15] != 1 or \
                    not (binary or bcd) or digest != fnv1a(sectors[lba]):
                bad.append(lba)
    checks.check(not bad, f"{what}: the bytes match the ISO", f"sectors {bad[:10]}")


def check_failure(checks, event, what, key=None, asc=None):
    """The engine's report of a refused command: result 4, last error -4, status 4, sense."""
    checks.check(event.get("result") == 4 and event.get("error") == -4 and event.get("status") == 4,
                 f"{what}: fails with last error -4 and status 4", event)
    if key is not None:
        got = (event.get("sense_key"), event.get("asc") if asc is not None else None)
        checks.check(got == (key, asc), f"{what}: carries sense key {key:X}" +
                     (f", ASC {asc:02X}" if asc is not None else ""), event)


def check_vm(all_events, cli, disc1, disc2):
    checks = Checks()
    # The root run's reports come before the user run's.
    user = one(all_events, "user")
    split = index_of(all_events, user) if user else len(all_events)
    events, user_events = all_events[:split], all_events[split:]
    engine = one(events, "engine")
    checks.check(engine.get("started") == 1 and engine.get("transport") == "native",
                 "the engine starts with the native transport", engine)
    checks.check(one(events, "aspi").get("modules", "x").strip() == "",
                 "no ASPI module in the VM", one(events, "aspi"))
    loaded = one(events, "modules").get("loaded", "").split()
    checks.check(all(m in loaded for m in ("sr_mod", "sg", "ahci", "virtio_scsi", "cdrom")),
                 "the drivers are loaded", loaded)

    # The drive list against sysfs: letter C is sr0, and the address is the kernel's H:T:L.
    sysfs = {e["name"]: e for e in events_of(events, "sysfs")}
    letters = {e["letter"]: e for e in events_of(events, "letter")}
    checks.check(len(sysfs) == 3 and all(e["type"] == "5" for e in sysfs.values()),
                 "three CD-ROM devices in sysfs", sysfs)
    checks.check(len(letters) == 3, "three drive letters", letters)
    for letter, entry in letters.items():
        unit = ord(letter) - ord("C")
        checks.check(entry["device"] == f"/dev/sr{unit}", f"letter {letter} is /dev/sr{unit}",
                     entry)
        host, _channel, target, lun = sysfs.get(f"sr{unit}", {}).get("hctl", "-:-:-:-").split(":")
        checks.check(entry["address"] == f"{host}:{target}:{lun}",
                     f"letter {letter} has the kernel's address", (entry, sysfs.get(f"sr{unit}")))
    for idlun in events_of(events, "idlun"):
        packed, unit = idlun["packed"], idlun["path"].removeprefix("/dev/")
        checks.check(idlun["errno"] == 0 and sysfs.get(unit, {}).get("hctl") ==
                     f"{packed >> 24}:{packed >> 16 & 0xFF}:{packed & 0xFF}:{packed >> 8 & 0xFF}",
                     f"SCSI_IOCTL_GET_IDLUN of {idlun['path']} agrees with sysfs", idlun)
    drives = events_of(events, "drive")
    checks.check(len(drives) == 3 and one(events, "drives").get("error") == 0,
                 "enumeration lists three drives", drives)
    checks.check([d["address"] for d in drives] ==
                 sorted((e["address"] for e in letters.values()),
                        key=lambda a: tuple(int(x) for x in a.split(":"))),
                 "drives listed in adapter/target/lun order", drives)
    roles = one(events, "roles")
    by_letter = {letter: e["address"] for letter, e in letters.items()}
    role_drive = {role: next((d for d in drives if d["address"] == by_letter.get(roles.get(role))),
                             {}) for role in ("disc", "empty", "refusing")}
    for role, drive in role_drive.items():
        checks.check(bool(drive), f"the {role} drive is listed", roles)
    for role in ("disc", "empty"):
        checks.check(role_drive[role].get("vendor") == "QEMU    " and
                     role_drive[role].get("product", "").startswith("QEMU DVD-ROM"),
                     f"the {role} drive's INQUIRY names are the ATAPI drive's", role_drive[role])
    checks.check(role_drive["refusing"].get("vendor") == VSCSI_VENDOR.ljust(8) and
                 role_drive["refusing"].get("product") == VSCSI_PRODUCT.ljust(16),
                 "the virtio-scsi drive's INQUIRY names are the ones QEMU was given",
                 role_drive["refusing"])
    for drive in drives:
        adapter, target, lun = drive["address"].split(":")
        name = f"{drive['vendor']}, {drive['product']} v{drive['revision']} " \
               f"({adapter}:{target}:{lun})"[:64]
        checks.check(drive["name"] == name, f"display name of {drive['address']}", drive)

    # The drive with the disc: TOC, speed, raw frames through the automatic choice.
    for toc in events_of(events, "toc", step="disc"):
        check_toc(checks, toc, len(disc1), f"disc TOC ({toc['mode']})")
    speeds = events_of(events, "speed", step="disc")
    checks.check(len(speeds) == 2 and all(s["result"] == 1 for s in speeds),
                 "SET CD SPEED succeeds on the ATAPI drive", speeds)
    reads = events_of(events, "read", step="disc")
    check_reads(checks, reads, disc1, "disc reads", method=2)
    checks.check(any(e["op"] == OP_READ_CD and e["byte9"] == 0xF8 and e.get("scsi_status") == 0
                     for e in events_of(events, "sgio")),
                 "the raw frames come from READ CD asking for whole frames (0xF8)")
    for residual in events_of(events, "residual", step="disc"):
        checks.check(residual["status"] == 1 and
                     residual["first_sector_digest"] == fnv1a(disc1[16]),
                     f"READ(10) on the ATAPI drive into {residual['asked']} bytes", residual)
    checks.check(sum(r["frames"] for r in reads) == len(disc1), "the whole disc is read",
                 [(r["lba"], r["frames"]) for r in reads][-2:])

    # The drive that refuses READ CD.
    check_toc(checks, one(events, "toc", step="refusing"), len(disc1), "virtio-scsi TOC")
    check_failure(checks, one(events, "speed", step="refusing"), "SET CD SPEED on virtio-scsi",
                  ILLEGAL_REQUEST, 0x20)
    check_failure(checks, one(events, "read", step="refusing-method-1"),
                  "READ CD on virtio-scsi", ILLEGAL_REQUEST, 0x20)
    check_failure(checks, one(events, "read", step="refusing-automatic"),
                  "automatic choice on virtio-scsi", ILLEGAL_REQUEST)
    # virtio-scsi reads into a buffer of the transfer's size, and counts the whole buffer as not
    # transferred when it is larger: that read fails instead of passing for good.
    exact = one(events, "residual", step="refusing", asked=2 * 2048)
    checks.check(exact.get("status") == 1 and exact.get("residual") == 0 and
                 exact.get("first_sector_digest") == fnv1a(disc1[16]),
                 "READ(10) on virtio-scsi into room for exactly its data", exact)
    larger = one(events, "residual", step="refusing", asked=2 * 2352)
    checks.check(larger.get("status") == 4 and larger.get("residual") == 2 * 2352,
                 "a READ(10) virtio-scsi counts as not transferred at all fails", larger)
    play = one(events, "player", step="refusing", command="play")
    check_failure(checks, play, "PLAY AUDIO MSF on virtio-scsi")
    checks.check(play.get("sense_key") == 0 and any(
        e["op"] == 0x47 and e.get("host_status", 0) != 0 for e in events_of(events, "sgio")),
        "a command failed by the host adapter (no sense) is a failure", play)
    check_failure(checks, one(events, "player", step="refusing", command="pause"),
                  "PAUSE on virtio-scsi", ILLEGAL_REQUEST, 0x20)
    checks.check(one(events, "player", step="refusing", command="stop").get("result") == 1,
                 "STOP on virtio-scsi", one(events, "player", step="refusing", command="stop"))

    # The empty drive.
    check_failure(checks, one(events, "toc", step="empty"), "TOC of the empty drive", NOT_READY,
                  0x3A)
    tracklist = one(events, "tracklist", step="empty")
    checks.check(tracklist.get("disc_ready") == 0 and tracklist.get("rows") == 0 and
                 tracklist.get("empty_text") == INSERT_DISC_LIST_TEXT,
                 "the track list of the empty drive asks for a disc", tracklist)

    # The medium change: seen as a unit attention, the drive identified again, the new TOC.
    check_medium_change(checks, events, disc1, disc2, by_letter[roles.get("disc")]
                        if roles.get("disc") in by_letter else None)

    # As a user who may read the device but not write it.
    check_user(checks, user_events, disc2)

    # tonalda-cli on the same kernel.
    units = {d["address"]: d["unit"] for d in drives}
    check_cli(checks, cli, units, role_drive, len(disc2))
    for phase in ("root", "user"):
        checks.check(one(all_events, "exit", phase=phase).get("code") == 0,
                     f"the probe's {phase} run ends well", one(all_events, "exit", phase=phase))
    checks.check(bool(events_of(all_events, "poweroff")), "the VM ran to the end")
    return checks


def observations(events):
    """What the kernel answered, in short, for whoever compares it with the fake layer."""
    seen = {}
    for e in events_of(events, "sgio"):
        if e["errno"]:
            seen.setdefault(f"errno {e['errno']}", set()).add(f"op {e['op']:02X}")
        elif e.get("sense_key"):
            seen.setdefault(f"{e['path']} sense code {e['sense_code']:02X}", set()).add(
                f"{e['op']:02X}:{e['sense_key']:X}/{e['asc']:02X}/{e['ascq']:02X}")
        elif e.get("host_status"):
            seen.setdefault(f"host status {e['host_status']}", set()).add(f"op {e['op']:02X}")
    for e in events_of(events, "open"):
        if e["result"] < 0:
            seen.setdefault(f"open {e['access']} errno {-e['result']}", set()).add(e["path"])
    for e in events_of(events, "residual"):
        seen.setdefault("residual of READ(10) of two data sectors", set()).add(
            f"{e['step']} into {e['asked']} bytes: {e['residual']}")
    return {key: sorted(values) for key, values in sorted(seen.items())}


def index_of(events, event):
    return next(i for i, e in enumerate(events) if e is event)


def check_medium_change(checks, events, disc1, disc2, address):
    check_toc(checks, one(events, "toc", step="before-change"), len(disc1), "TOC before the change")
    wait = one(events, "wait")
    if not checks.check(bool(wait) and bool(one(events, "resumed")), "the medium was changed"):
        return
    after = events[index_of(events, wait):]
    attempts = [e for e in after if e["event"] == "toc" and e["step"].startswith("after-change")]
    checks.check(attempts and attempts[-1]["result"] == 1, "a TOC succeeds after the change",
                 attempts)
    if attempts:
        check_toc(checks, attempts[-1], len(disc2), "TOC after the change")
    commands = [e for e in after if e["event"] == "sgio" and e["path"] == "/dev/sr" + str(
        ord(one(events, "roles")["disc"]) - ord("C"))]
    attention = next((i for i, e in enumerate(commands)
                      if (e.get("sense_key"), e.get("asc")) == (UNIT_ATTENTION, 0x28)), None)
    checks.check(attention is not None, "the drive reports the change (6/28/00)",
                 [(c["op"], c.get("sense_key"), c.get("asc")) for c in commands[:6]])
    if attention is not None:
        following = commands[attention + 1:attention + 3]
        checks.check(following and following[0]["op"] == OP_INQUIRY and
                     following[1:] and following[1]["op"] == commands[attention]["op"],
                     "the change is answered by identifying the drive again and one retry",
                     [(c["op"], c.get("sense_key")) for c in following])
        checks.check(any(e["event"] == "idlun" for e in after), "the address is asked again")
    check_reads(checks, events_of(events, "read", step="after-change"), disc2,
                "reads of the new disc")


def check_user(checks, phase, disc):
    user = one(phase, "user")
    checks.check(user.get("dropped") == 1 and user.get("euid") == USER_UID,
                 "the user phase runs unprivileged", user)
    opens = [e for e in phase if e["event"] == "open"]
    checks.check(opens and all(e["access"] == "ro" or e["result"] == -EACCES for e in opens) and
                 any(e["access"] == "ro" and e["result"] >= 0 for e in opens),
                 "read-write opening is refused (EACCES), read-only opening works",
                 [(e["path"], e["access"], e["result"]) for e in opens][:4])
    check_toc(checks, one(phase, "toc", step="user"), len(disc), "TOC as a user")
    check_failure(checks, one(phase, "speed", step="user"), "SET CD SPEED as a user")
    check_failure(checks, one(phase, "read", step="user-mode-select"), "MODE SELECT as a user")
    refused = {e["op"] for e in phase if e["event"] == "sgio" and e["errno"] == EPERM}
    checks.check({OP_SET_SPEED, OP_MODE_SELECT} <= refused,
                 "the kernel refuses SET CD SPEED and MODE SELECT on a read-only device (EPERM)",
                 sorted(refused))
    check_reads(checks, events_of(phase, "read", step="user-automatic"), disc,
                "reads as a user", method=2)


def check_cli(checks, cli, units, role_drive, disc_sectors):
    listed = cli.get("tonalda-cli drives", {})
    checks.check(listed.get("code") == 0 and len(listed.get("lines", [])) >= 3,
                 "tonalda-cli drives lists the drives", listed)
    for role, drive in role_drive.items():
        unit = units.get(drive.get("address"))
        checks.check(any(drive.get("name", "?") in line for line in listed.get("lines", [])),
                     f"tonalda-cli drives names the {role} drive", listed)
        toc = cli.get(f"tonalda-cli toc --unit {unit}", {})
        text = "\n".join(toc.get("lines", []))
        if role == "empty":
            checks.check(toc.get("code") == 1 and INSERT_DISC_MESSAGE in text,
                         "tonalda-cli toc on the empty drive asks for a disc", toc)
        else:
            checks.check(toc.get("code") == 0, f"tonalda-cli toc on the {role} drive works", toc)


# ---- main -------------------------------------------------------------------------------------


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    for option in ("probe", "cli", "setup", "init", "cache", "work"):
        parser.add_argument(f"--{option}", required=True, type=Path)
    args = parser.parse_args()
    started = time.monotonic()
    try:
        for tool in ("qemu-system-x86_64", "ldd"):
            require_tool(tool)
        args.work.mkdir(parents=True, exist_ok=True)
        args.cache.mkdir(parents=True, exist_ok=True)
        version, kernel, modules = fetch_kernel(args.cache)
        fetched = time.monotonic()
        initramfs = args.work / "initramfs.cpio.gz"
        initramfs.write_bytes(base_initramfs(args.cache, version, modules) +
                              program_initramfs(args.init, [args.probe, args.cli, args.setup]))
        disc1, sectors1 = make_iso(args.work, "disc1", 1, [300_000, 420_000, 2_048])
        disc2, sectors2 = make_iso(args.work, "disc2", 2, [510_000, 77_777])
        prepared = time.monotonic()
        log(f"kernel {version}; booting (console in {args.work / 'console.log'})")
        lines = boot(args.work, kernel, initramfs, disc1, disc2)
        booted = time.monotonic()
    except SetupError as error:
        log(f"ERROR: {error}")
        return 1
    events, cli = parse(lines)
    checks = check_vm(events, cli, sectors1, sectors2)
    log(f"kernel ready in {fetched - started:.1f} s, initramfs and discs in "
        f"{prepared - fetched:.1f} s, VM run {booted - prepared:.1f} s")
    for key, values in observations(events).items():
        log(f"kernel answer: {key}: {', '.join(values)}")
    log(f"{checks.passed} checks passed, {len(checks.failures)} failed")
    if checks.failures:
        tail = "\n".join(lines[-40:])
        log(f"last console lines:\n{tail}")
    return 0 if not checks.failures else 1


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Silent installs of TqSorvaSetup.exe end to end under Wine.

Each group of cases runs in its own copy of the booted test prefix with its
own wineserver (a prefix of its own has one), which is stopped at the end.
Waits are for conditions (a process ending, the prefix going idle), never
for a time."""
import argparse
import glob
import hashlib
import http.server
import os
import shutil
import struct
import subprocess
import sys
import threading

FAILURES = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        FAILURES.append(what)
    return condition


class Prefix:
    def __init__(self, name, args):
        self.args = args
        self.root = os.path.join(args.work, name)
        self.prefix = os.path.join(self.root, "prefix")
        shutil.rmtree(self.root, ignore_errors=True)
        os.makedirs(self.root)
        # Hard links for the large, never rewritten system files; real copies
        # of the registry files, which Wine rewrites.
        # Other tests run in the test prefix meanwhile: a file of theirs that
        # goes while the copy lists it is no error (Temp is emptied below).
        copy = subprocess.run(["cp", "-al", args.prefix, self.prefix], stderr=subprocess.PIPE, text=True)
        errors = [l for l in copy.stderr.splitlines() if "No such file or directory" not in l]
        if copy.returncode != 0 and errors:
            raise RuntimeError("copying the test prefix failed: " + "\n".join(errors))
        for reg in glob.glob(os.path.join(self.prefix, "*.reg")):
            source = os.path.join(args.prefix, os.path.basename(reg))
            # The test prefix's wineserver may be saving the file: take a whole copy.
            for _ in range(100):
                data = open(source, "rb").read()
                if data.startswith(b"WINE REGISTRY Version") and data.endswith(b"\n"):
                    break
                subprocess.run(["sleep", "0.1"])
            os.unlink(reg)
            open(reg, "wb").write(data)
        # The user's folders are written in place (logs, setup.ini): real
        # copies, so nothing reaches the test prefix through a shared file;
        # Temp starts empty, and the folders Wine links into the shared HOME
        # become folders of this prefix.
        users_root = os.path.join(self.prefix, "drive_c", "users")
        for user in os.listdir(users_root):
            for entry in os.listdir(os.path.join(users_root, user)):
                path = os.path.join(users_root, user, entry)
                if os.path.islink(path):
                    os.unlink(path)
                    os.mkdir(path)
                elif entry == "AppData":
                    shutil.rmtree(path)
                    shutil.copytree(os.path.join(args.prefix, "drive_c", "users", user, entry), path, symlinks=True)
                    # A user who never had the product: no settings of other
                    # tests (a machine id in setup.ini, logs).
                    shutil.rmtree(os.path.join(path, "Roaming", "brenlo"), ignore_errors=True)
                elif entry == "Temp":
                    shutil.rmtree(path)
                    os.mkdir(path)
        self.env = dict(os.environ)
        self.env.update(WINEPREFIX=self.prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        users = [u for u in os.listdir(os.path.join(self.prefix, "drive_c", "users")) if u != "Public"]
        self.user = users[0]
        self.count = 0

    def unix(self, windows_path):
        assert windows_path[1:3] == ":\\"
        path = os.path.join(self.prefix, "drive_c")
        for part in [p for p in windows_path[3:].split("\\") if p]:
            # Wine's folders on disk may differ in letter case from the Windows names.
            found = [e for e in os.listdir(path) if e.lower() == part.lower()] if os.path.isdir(path) else []
            path = os.path.join(path, found[0] if found else part)
        return path

    def wine(self, *argv, env=None, timeout=600):
        # Output to a file: Wine's services inherit it and would hold a pipe open.
        self.count += 1
        out = os.path.join(self.root, "run%02d.out" % self.count)
        run_env = dict(self.env)
        run_env.update(env or {})
        with open(out, "wb") as f:
            rc = subprocess.run([self.args.wine, *argv], env=run_env, stdout=f, stderr=subprocess.STDOUT,
                                timeout=timeout).returncode
        return rc, open(out, "rb").read().decode("utf-8", "replace")

    def bin(self, name):
        return os.path.join(self.args.bin, name)

    def install(self, *setup_args, runner_options=(), setup=None, env=None):
        setup = setup or self.bin("TqSorvaSetup.exe")
        rc, out = self.wine(self.bin("setup_runner.exe"), "run", *runner_options, setup, *setup_args, env=env)
        for line in out.splitlines():
            if line.startswith("exit="):
                return int(line[5:])
        print("setup_runner ended with %d: %s" % (rc, out))
        return None

    def reg(self, hive, key, value):
        rc, out = self.wine(self.bin("setup_runner.exe"), "reg", hive, key, value)
        for line in out.splitlines():
            if line.startswith("value="):
                return line[6:]
        return None

    def link(self, windows_path):
        rc, out = self.wine(self.bin("setup_runner.exe"), "link", windows_path)
        fields = dict(line.split("=", 1) for line in out.splitlines() if "=" in line)
        return fields.get("target"), fields.get("workdir")

    def wait_idle(self):
        subprocess.run([self.args.wineserver, "-w"], env=self.env, timeout=600)

    def stop(self):
        subprocess.run([self.args.wineserver, "-k"], env=self.env, timeout=120)

    def appdata(self):
        return "C:\\users\\%s\\AppData\\Roaming" % self.user

    def setup_log(self):
        path = self.unix(self.appdata() + "\\brenlo\\tqsorva\\setup\\setupV2.log")
        return open(path, "rb").read().decode("utf-16-le", "replace") if os.path.exists(path) else ""


class StatisticsServer:
    def __init__(self):
        self.requests = []
        outer = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                outer.requests.append(self.path)
                body = b"ok"
                self.send_response(200)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *a):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        self.url = "http://127.0.0.1:%d" % self.server.server_address[1]

    def close(self):
        self.server.shutdown()


def with_version(data, ms, ls):
    """The filter's bytes with another file version in its fixed version block."""
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    assert at >= 0, "no version block"
    return data[:at + 8] + struct.pack("<II", ms, ls) + data[at + 16:]


def zpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def successful_install(args):
    p = Prefix("install", args)
    server = StatisticsServer()
    try:
        install = "C:\\Program Files\\TqSorva"
        os.makedirs(p.unix(install))
        shutil.copy(p.bin("tqwizard.exe"), p.unix(install + "\\tqwizard.exe"))
        env = {"TQ_SERVICE_URL": server.url, "TQ_TALLYO_LOG": "C:\\tallyo.log", "TQ_WIZARD_DELAY_MS": "1500"}
        code = p.install("-silence", install, runner_options=["--event"], env=env)
        check(code == 0, "silent install exits 0 (got %r)" % code)
        p.wait_idle()  # tallyo and regsvr32 run on after the installer

        top = p.unix(install)
        version = os.path.join(top, "1.0.3.0")
        for name in ["TqSorva.exe", "Launcher.xml"]:
            check(os.path.isfile(os.path.join(top, name)), "installed " + name)
        for name in ["TqSorva.exe", "lumeo.dll", "TqVirtualCam.ax", "mainframe.dll", "update.exe", "kqlog.dll",
                     "Sonvex.dll", "tallyo.exe", "res/aurae/auraelist.xml", "res/aurae/music/brook.mp3"]:
            check(os.path.isfile(os.path.join(version, name)), "installed 1.0.3.0/" + name)
        shipped = open(p.bin("TqVirtualCam.ax"), "rb").read()
        check(open(os.path.join(version, "TqVirtualCam.ax"), "rb").read() == shipped, "extracted filter is the build's")
        check(open(os.path.join(top, "Stable", "TqVirtualCam.ax"), "rb").read() == shipped, "Stable copy of the filter")
        check(not os.path.exists(os.path.join(top, "Stable", "avcodec-53.dll")), "no Stable copy of a file we lack")
        check(not os.path.exists(os.path.join(top, "install")), "the payload's top folder is no folder of its own")

        reg_values = [
            ("HKCU", "Software\\brenlo\\tqsorva", "InstallDir", install + "\\"),
            ("HKCU", "Software\\brenlo\\com.tq.tqsorva", "InstallDir", install + "\\TqSorva.exe"),
        ]
        uninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TqSorva"
        reg_values += [("HKLM", uninstall, name, value) for name, value in [
            ("UninstallString", '"' + install + '\\Uninstall.exe"'), ("DisplayName", "TqSorva"),
            ("DisplayIcon", install + "\\Uninstall.exe"), ("Publisher", "Brenlo游戏网"),
            ("URLInfoAbout", "http://www.brenlo.com/"), ("DisplayVersion", "1.0.3.0")]]
        for hive, key, name, expected in reg_values:
            got = p.reg(hive, key, name)
            check(got == expected, "registry %s\\%s %s = %r (got %r)" % (hive, key, name, expected, got))

        data = p.appdata() + "\\brenlo\\tqsorva"
        menu = p.appdata() + "\\Microsoft\\Windows\\Start Menu"
        links = [
            ("C:\\users\\%s\\Desktop\\TqNelu.lnk" % p.user, install + "\\TqSorva.exe"),
            (menu + "\\Programs\\TqNelu\\TqNelu.lnk", install + "\\TqSorva.exe"),
            (menu + "\\TqNelu.lnk", install + "\\TqSorva.exe"),
            (menu + "\\Programs\\TqNelu\\卸载TqNelu.lnk", install + "\\Uninstall.exe"),
        ]
        for link, target in links:
            got_target, got_folder = p.link(link)
            check(got_target == target and got_folder == data,
                  "link %s -> %s in %s (got %r in %r)" % (link, target, data, got_target, got_folder))

        ini = open(p.unix(data + "\\setup.ini"), "rb").read().decode("utf-8")
        check("IfInstalled=0\r\n" in ini and "NeedCleanOldVersion=1\r\n" in ini, "setup.ini flags (%r)" % ini)
        check(os.path.isfile(p.unix(data + "\\aurae\\auraelist.xml")), "first install copies the shipped aurae list")

        tallyo = open(p.unix("C:\\tallyo.log"), "rb").read().decode("utf-8")
        expected_line = 'tallyo cmdline="%s\\1.0.3.0\\tallyo.exe" ""|1.0.3.0|1|i|""' % install
        check(expected_line in tallyo.splitlines(), "tallyo's command line %s (log %r)" % (expected_line, tallyo))
        cwd = [l[len("tallyo cwd="):] for l in tallyo.splitlines() if l.startswith("tallyo cwd=")]
        check(cwd and cwd[0].rstrip("\\") == install, "tallyo runs in the install folder (%r)" % cwd)
        lines = tallyo.splitlines()
        check("tqwizard end" in lines and lines.index("tqwizard end") < lines.index(expected_line),
              "the wizard was waited for before tallyo started")

        expected_request = "/TqSorvaInstall.php?mac=&version=1.0.3.0&installed=1"
        check(server.requests == [expected_request], "statistics request %r (got %r)" % (expected_request, server.requests))

        rc, listing = p.wine(p.bin("vcamgrab.exe"), "list")
        check("TqNelu" in listing, "vcamgrab lists TqNelu once registered (%r)" % listing[-300:])

        log = p.setup_log()
        for line in ["Setup start, command line is",
                     "SorvaSetupControl::_analyzeInstallModel, silence mode, setup path is " + install,
                     "Check result is CR_Success, and then prepare to decompress.",
                     "SorvaSetupDecompressor::_syncDecompress begin [silence model].",
                     "SorvaSetupControl::onDecompressFinish, DR_Success.",
                     "SorvaSetupCore::doAfterDecompress, decompress finished.",
                     "copyFile [%s\\1.0.3.0\\avcodec-53.dll] to [%s\\Stable\\avcodec-53.dll] finished failed!" % (install, install),
                     "SorvaSetupCore::_do3XUpdate, wait finish.",
                     "SorvaSetupCore::runTallyo, run %s\\1.0.3.0\\tallyo.exe parameter is \"|1.0.3.0|1|i|\"." % install,
                     "SorvaSetupCore::sendInstallStastics, url %s%s." % (server.url, expected_request),
                     "Quit application, exit code is 0",
                     'regsvr32.exe" -s "%s\\Stable\\TqVirtualCam.ax", result is 0.' % install]:
            check(line in log, "log line: " + line)
        check('sorvasetupcore::regsvraxcom, run "c:\\windows\\system32\\regsvr32.exe"' in log.lower(),
              "the system folder's regsvr32 registers the filter")
        check(log.find("SorvaSetupCore::RegsvrAxCom, run") < log.find("Quit application, exit code is 0"),
              "the exit code comes after the registration")

        # Programs holding an installed filter of the same version do not stop a reinstall.
        code = p.install("-silence", install, runner_options=["--event", "--hold", install + "\\Stable\\TqVirtualCam.ax"],
                         env=env)
        check(code == 0, "reinstall while the same filter version is held exits 0 (got %r)" % code)
        p.wait_idle()
    finally:
        server.close()
        p.stop()


def failed_installs(args):
    p = Prefix("failures", args)
    try:
        before = set(os.listdir(p.unix("C:\\")))
        windows_before = set(os.listdir(p.unix("C:\\Windows")))
        for path, event in [("C:\\a\\\\b", True), ("C:\\a*b", True), ("C:\\", False), ("C:\\Windows", True)]:
            code = p.install("-silence", path, runner_options=["--event"] if event else [])
            check(code == -3, "invalid path %s exits -3 (got %r)" % (path, code))
        check(set(os.listdir(p.unix("C:\\"))) == before, "nothing written at the top of C:")
        check(set(os.listdir(p.unix("C:\\Windows"))) == windows_before, "nothing written in the Windows folder")

        # The user's folders and those above them, which an uninstall would
        # empty, and names the system cuts or opens as devices: refused before
        # anything is written; canaries planted there keep their contents.
        profile = "C:\\users\\%s" % p.user
        known = [profile, profile + "\\Downloads", profile + "\\Documents", profile + "\\Desktop",
                 profile + "\\AppData", profile + "\\AppData\\Local", p.appdata(), "C:\\users",
                 "C:\\ProgramData", "C:\\Program Files"]
        canaries = {}
        for folder in known:
            canary = p.unix(folder + "\\tq_canary.txt")
            os.makedirs(os.path.dirname(canary), exist_ok=True)
            data = ("canary of " + folder).encode()
            open(canary, "wb").write(data)
            canaries[canary] = (data, set(os.listdir(os.path.dirname(canary))))
        odd = ["C:\\Tools\\CON", "C:\\Tools\\nul.txt", "C:\\Tools\\COM1", "C:\\Tools\\lpt9", "C:\\Tools\\CONIN$",
               "C:\\Tools\\Sorva.", "C:\\Tools \\Sorva", "C:\\Tools\\Sorva. "]
        for path in known + [profile.lower().replace("\\", "/") + "/downloads/"] + odd:
            code = p.install("-silence", path, runner_options=["--event"])
            check(code == -3, "protected or odd path %r exits -3 (got %r)" % (path, code))
        for canary, (data, listing) in canaries.items():
            folder = os.path.dirname(canary)
            check(open(canary, "rb").read() == data, "canary in %s unchanged" % folder)
            added = set(os.listdir(folder)) - listing - {"brenlo"}
            check(not added, "nothing written in %s (%r)" % (folder, added))
        check(not os.path.exists(p.unix("C:\\Tools")), "nothing written for the odd names")

        code = p.install("-silence", "C:\\Second", runner_options=["--event", "--mutex"])
        check(code == -1, "another installer holding the mutex gives -1 (got %r)" % code)
        check(not os.path.exists(p.unix("C:\\Second\\1.0.3.0")), "nothing extracted while another installer runs")

        cut = os.path.join(p.root, "cut.exe")
        rc, out = p.wine(p.bin("setup_runner.exe"), "cut", p.bin("TqSorvaSetup.exe"), zpath(cut))
        check(rc == 0, "payload cut (%s)" % out.strip())
        code = p.install("-silence", "C:\\Cut", runner_options=["--event"], setup=cut)
        check(code == -5, "a cut payload gives -5 (got %r)" % code)
        check(p.reg("HKCU", "Software\\brenlo\\tqsorva", "InstallDir") is None, "no registry values after a failed extraction")

        held = "C:\\Held"
        os.makedirs(p.unix(held + "\\Stable"))
        shipped = open(p.bin("TqVirtualCam.ax"), "rb").read()
        open(p.unix(held + "\\Stable\\TqVirtualCam.ax"), "wb").write(with_version(shipped, 0x00010000, 0x00020000))
        code = p.install("-silence", held, runner_options=["--event", "--hold", held + "\\Stable\\TqVirtualCam.ax"])
        check(code == -6, "a held filter of another version gives -6 (got %r)" % code)
        check(not os.path.exists(p.unix(held + "\\1.0.3.0")), "nothing extracted while the filter is held")
        code = p.install("-silence", held, runner_options=["--event"])
        check(code == 0, "the same install once nothing holds the filter exits 0 (got %r)" % code)
        p.wait_idle()
        log = p.setup_log()
        for line in ["Check step, _isSetupExist return false [CR_SetupExist].", "Quit application, exit code is -1",
                     "Quit application, exit code is -3",
                     "SorvaSetupControl::onDecompressFinish, DR_DecompressInstallFailed.",
                     "Check step, process [setup_runner.exe] are using VirtualCam now [CR_SetupVirtualCamUsing].",
                     "Quit application, exit code is -6"]:
            check(line in log, "log line: " + line)
    finally:
        p.stop()


def digest(path):
    return hashlib.sha256(open(path, "rb").read()).hexdigest()


def tree(unix_root):
    """Every file below unix_root with its digest, and every folder (None)."""
    found = {}
    for folder, dirs, files in os.walk(unix_root):
        for d in dirs:
            found[os.path.relpath(os.path.join(folder, d), unix_root)] = None
        for f in files:
            path = os.path.join(folder, f)
            found[os.path.relpath(path, unix_root)] = digest(path)
    return found


def plant_canaries(p, folder, names):
    os.makedirs(p.unix(folder), exist_ok=True)
    for name in names:
        open(os.path.join(p.unix(folder), name), "wb").write(("canary " + name).encode() + os.urandom(64))


PLANTED_DLLS = ["version.dll", "netapi32.dll", "iphlpapi.dll", "gdiplus.dll", "bcrypt.dll", "wininet.dll"]
# Wine prefers its own copies of these; told to look for a real one first,
# it searches the way Windows does for a DLL that is not a known DLL. Not so
# for version.dll: Wine's own user32 imports it at every start (Windows'
# does not), so only the import tables below show that it is not bound at
# start. A crash ends the program instead of starting the debugger.
PLANTED_OVERRIDES = "mscoree,mshtml=;winedbg.exe=d;" + ",".join(
    n[:-4] for n in PLANTED_DLLS if n != "version.dll") + "=n,b"
# What a program may import at start: DLLs the system keeps as known DLLs,
# always taken from the system folder.
KNOWN_DLLS = {"advapi32.dll", "comdlg32.dll", "gdi32.dll", "imm32.dll", "kernel32.dll", "msvcrt.dll", "ole32.dll",
              "oleaut32.dll", "rpcrt4.dll", "shell32.dll", "shlwapi.dll", "user32.dll", "ws2_32.dll"}


def imported_dlls(program):
    for tool in ["i686-w64-mingw32-objdump", "x86_64-w64-mingw32-objdump", "objdump"]:
        if shutil.which(tool):
            out = subprocess.run([tool, "-p", program], stdout=subprocess.PIPE, text=True).stdout
            return {l.split("DLL Name:")[1].strip().lower() for l in out.splitlines() if "DLL Name:" in l}
    return None


def planted_programs(args):
    """Programs and DLLs planted beside the setup programs, which run elevated
    from the user's Downloads and from the install folder, are never run."""
    for name in ["TqSorvaSetup.exe", "Uninstall.exe"]:
        imported = imported_dlls(os.path.join(args.bin, name))
        check(imported is not None and imported <= KNOWN_DLLS,
              "%s imports only known DLLs at start (others: %r)" % (name, sorted((imported or set()) - KNOWN_DLLS)))
    p = Prefix("planted", args)
    try:
        downloads = "C:\\users\\%s\\Downloads" % p.user
        plant_canaries(p, downloads, ["holiday.jpg", "letter.doc"])
        setup = os.path.join(p.unix(downloads), "TqSorvaSetup.exe")
        shutil.copy(p.bin("TqSorvaSetup.exe"), setup)
        # A "regsvr32" that writes "tqwizard start" to TQ_TALLYO_LOG when run
        # (the installer's tallyo writes its own lines there).
        shutil.copy(p.bin("tqwizard.exe"), os.path.join(p.unix(downloads), "regsvr32.exe"))
        for name in PLANTED_DLLS:
            shutil.copy(p.bin("TqPlanted.dll"), os.path.join(p.unix(downloads), name))
        before = tree(p.unix(downloads))
        env = {"TQ_TALLYO_LOG": "C:\\programs.log", "WINEDLLOVERRIDES": PLANTED_OVERRIDES}

        def planted():
            found = []
            for name in ["C:\\planted.log", "C:\\programs.log"]:
                if os.path.exists(p.unix(name)):
                    text = open(p.unix(name), "rb").read().decode("utf-8", "replace")
                    found += [line for line in text.splitlines() if not line.startswith("tallyo ")]
            return found

        install = "C:\\Program Files\\TqSorva"
        code = p.install("-silence", install, runner_options=["--event"], setup=setup, env=env)
        p.wait_idle()
        check(code == 0, "install from Downloads exits 0 (got %r)" % code)
        check(planted() == [], "nothing planted beside the installer ran (%r)" % planted())
        rc, listing = p.wine(p.bin("vcamgrab.exe"), "list")
        check("TqNelu" in listing, "the system's regsvr32 registered the filter (%r)" % listing[-300:])
        check(tree(p.unix(downloads)) == before, "the Downloads canaries are unchanged")
        if not os.path.isdir(p.unix(install)):
            return

        # The uninstaller starts from the install folder, where DLLs may have
        # been put by anyone who could write there.
        for name in PLANTED_DLLS:
            shutil.copy(p.bin("TqPlanted.dll"), os.path.join(p.unix(install), name))
        rc, out = p.wine(p.bin("setup_runner.exe"), "run", install + "\\Uninstall.exe", "-silence", env=env)
        p.wait_idle()
        check("exit=0" in out, "the uninstaller exits 0 (%r)" % out.strip())
        check(planted() == [], "nothing planted beside the uninstaller ran (%r)" % planted())
        uninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TqSorva"
        check(p.reg("HKLM", uninstall, "UninstallString") is None, "the uninstall chain ran to its end")
        check(not os.path.exists(os.path.join(p.unix(install), "1.0.3.0")), "the uninstall removed the product")
    finally:
        p.stop()


def long_paths(args):
    """A folder whose payload paths would pass the system's limit is refused
    with -3 before anything is written; one character less installs."""
    p = Prefix("longpaths", args)
    try:
        # The longest paths the install puts below its folder, from a real install.
        code = p.install("-silence", "C:\\Short", runner_options=["--event"])
        check(code == 0, "short install exits 0 (got %r)" % code)
        p.wait_idle()
        installed = tree(p.unix("C:\\Short"))
        longest_file = max(len(k) for k, v in installed.items() if v is not None)
        longest_folder = max(len(k) for k, v in installed.items() if v is None)
        # Replacing a held file appends ".old"; folders stay below MAX_PATH - 12.
        longest_ok = min(254 - longest_file, 246 - longest_folder)

        def deep(length):
            path = "C:\\deep"
            while len(path) < length:
                path += "\\" + "d" * min(100, length - len(path) - 1)
            assert len(path) == length, (length, len(path))
            return path

        plant_canaries(p, "C:\\deep", ["canary.txt"])
        for length, expected in [(317, -3), (240, -3), (longest_ok + 1, -3), (longest_ok, 0)]:
            before = tree(p.unix("C:\\deep"))
            code = p.install("-silence", deep(length), runner_options=["--event"])
            p.wait_idle()
            check(code == expected, "a %d-character folder exits %d (got %r)" % (length, expected, code))
            if expected != 0:
                check(tree(p.unix("C:\\deep")) == before, "nothing written for the %d-character folder" % length)
                check(p.reg("HKCU", "Software\\brenlo\\tqsorva", "InstallDir") == "C:\\Short\\",
                      "the install's registry value still names the short install")
            else:
                got = tree(p.unix(deep(length)))
                check(set(got) == set(installed), "the longest accepted folder holds the whole install")
        check(tree(p.unix("C:\\deep"))["canary.txt"] == before["canary.txt"], "the canary is unchanged")
        log = p.setup_log()
        check("installPathFitsPayload, %s is too long" % deep(240) in log, "the refusal is logged")
    finally:
        p.stop()


def half_install(args):
    """An extraction that fails half-way removes what it wrote: files and
    folders of the user's and of an earlier install stay as they were."""
    p = Prefix("half", args)
    try:
        install = "C:\\Half"
        plant_canaries(p, install, ["notes.txt"])
        plant_canaries(p, "C:\\", ["half_sibling.txt"])
        sibling = digest(p.unix("C:\\half_sibling.txt"))
        # A folder where the payload's last file goes fails the extraction there.
        listing = subprocess.run(["7zz", "l", "-slt", args.payload], stdout=subprocess.PIPE, text=True).stdout
        files = [block for block in listing.split("\n\n")
                 if "Path = install/" in block and "\nAttributes = D" not in "\n" + block]
        last = [l[len("Path = "):] for l in files[-1].splitlines() if l.startswith("Path = ")] if files else []
        check(len(last) == 1 and last[0].startswith("install/"), "the payload's last file (%r)" % last)
        blocked = install + "\\" + last[0][len("install/"):].replace("/", "\\")
        plant_canaries(p, blocked, ["keep.txt"])
        before = tree(p.unix(install))
        code = p.install("-silence", install, runner_options=["--event"])
        p.wait_idle()
        check(code == -5, "the blocked extraction exits -5 (got %r)" % code)
        check(tree(p.unix(install)) == before, "only what was there before stays (%r)" %
              sorted(set(tree(p.unix(install))) - set(before)))
        check(digest(p.unix("C:\\half_sibling.txt")) == sibling, "the sibling canary is unchanged")
        check(p.reg("HKCU", "Software\\brenlo\\tqsorva", "InstallDir") is None, "no registry values")
        check("files of this run removed." in p.setup_log(), "the removal is logged")
    finally:
        p.stop()


def failed_registration(args):
    """A filter regsvr32 cannot register fails the silent install (-7), after
    the files are in place; nothing of the user's is touched."""
    p = Prefix("noreg", args)
    try:
        install = "C:\\NoReg"
        # A folder where the Stable copy of the filter goes: nothing to register.
        plant_canaries(p, install + "\\Stable\\TqVirtualCam.ax", ["keep.txt"])
        before = digest(p.unix(install + "\\Stable\\TqVirtualCam.ax\\keep.txt"))
        code = p.install("-silence", install, runner_options=["--event"])
        p.wait_idle()
        check(code == -7, "a failed registration exits -7 (got %r)" % code)
        log = p.setup_log()
        results = [l for l in log.splitlines() if l.find("SorvaSetupCore::RegsvrAxCom, run") >= 0]
        check(len(results) == 1 and not results[0].endswith("result is 0.") and "result is 33" not in results[0],
              "regsvr32's own exit code is logged (%r)" % results)
        check(os.path.isfile(os.path.join(p.unix(install), "1.0.3.0", "TqVirtualCam.ax")), "the files are in place")
        check(digest(p.unix(install + "\\Stable\\TqVirtualCam.ax\\keep.txt")) == before, "the planted folder is unchanged")
        check("Quit application, exit code is -7" in log, "the exit code is logged")
    finally:
        p.stop()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--wine", required=True)
    parser.add_argument("--wineserver", required=True)
    parser.add_argument("--payload", default="")
    # Names of the cases to run, separated by commas (all when empty).
    parser.add_argument("--only", default="")
    args = parser.parse_args()
    args.bin, args.work, args.prefix = map(os.path.abspath, (args.bin, args.work, args.prefix))
    if not os.path.isfile(os.path.join(args.prefix, "system.reg")):
        print("no booted test prefix at " + args.prefix)
        return 1
    for case in [successful_install, failed_installs, planted_programs, long_paths, half_install,
                 failed_registration]:
        if not args.only or case.__name__ in args.only.split(","):
            case(args)
    print("%d failure(s)" % len(FAILURES))
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Checks of the Debian package and of the manual pages, run by CTest.

    package_test.py build    BUILD_DIR OUT_DIR   cpack the build tree into OUT_DIR
    package_test.py lintian  OUT_DIR [SOURCE_DIR]  no lintian error
    package_test.py metadata OUT_DIR SOURCE_DIR  file list, menu entry, AppStream metadata
    package_test.py programs OUT_DIR SOURCE_DIR  both programs run from the unpacked package
    package_test.py manual   PROGRAM MANUAL      every option of PROGRAM --help is in MANUAL

Every check unpacks the package on its own into a temporary root
(dpkg -x), so the checks share nothing but the built package.
"""
import glob
import os
import re
import subprocess
import sys
import tempfile


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def run(command, **kwargs):
    """Runs a command, shows what it printed, and returns the result."""
    result = subprocess.run(command, capture_output=True, text=True, **kwargs)
    print("$ " + " ".join(command) + f"  (exit {result.returncode})")
    if result.stdout:
        print(result.stdout.rstrip())
    if result.stderr:
        print(result.stderr.rstrip())
    return result


def the_package(out_dir):
    found = glob.glob(os.path.join(out_dir, "lumasift_*.deb"))
    if len(found) != 1:
        fail(f"expected one lumasift_*.deb in {out_dir}, found {found}")
    return found[0]


def field(deb, name):
    return subprocess.run(["dpkg-deb", "-f", deb, name], capture_output=True, text=True,
                          check=True).stdout.strip()


def unpack(deb, root):
    subprocess.run(["dpkg", "-x", deb, root], check=True)


def build(build_dir, out_dir):
    os.makedirs(out_dir, exist_ok=True)
    for old in glob.glob(os.path.join(out_dir, "*.deb")):
        os.remove(old)
    result = run(["cpack", "-G", "DEB", "-B", out_dir, "--config",
                  os.path.join(build_dir, "CPackConfig.cmake")], cwd=build_dir)
    if result.returncode != 0:
        fail("cpack failed")
    deb = the_package(out_dir)
    version, arch = field(deb, "Version"), field(deb, "Architecture")
    if os.path.basename(deb) != f"lumasift_{version}_{arch}.deb":
        fail(f"{deb} is not named lumasift_{version}_{arch}.deb")
    # Dependencies come from the programs, so the C library and Qt are there
    # without anyone having listed them.
    depends = field(deb, "Depends")
    for library in ("libc6", "libqt6core6", "libqt6widgets6", "libcurl4"):
        if not re.search(r"(^|, )" + library + r"\b", depends):
            fail(f"Depends lacks {library}: {depends}")


def lintian(out_dir, _source_dir=None):
    deb = the_package(out_dir)
    # Everything lintian says is printed for the record; only errors fail.
    result = run(["lintian", "--fail-on", "error", "--display-level", ">=info", "--show-overrides", deb])
    if result.returncode != 0 or re.search(r"^E: ", result.stdout, re.M):
        fail("lintian reports errors")


EXPECTED_FILES = [
    "usr/bin/lumasift",
    "usr/bin/lumasift-cli",
    "usr/share/lumasift/license.txt",
    "usr/share/lumasift/Languages/LanguageCodes.csv",
    "usr/share/lumasift/Languages/German.lang.txt",
    "usr/share/applications/com.corvane.Lumasift.desktop",
    "usr/share/metainfo/com.corvane.Lumasift.metainfo.xml",
    "usr/share/icons/hicolor/48x48/apps/lumasift.png",
    "usr/share/icons/hicolor/256x256/apps/lumasift.png",
    "usr/share/man/man1/lumasift.1.gz",
    "usr/share/man/man1/lumasift-cli.1.gz",
    "usr/share/bash-completion/completions/lumasift-cli",
    "usr/share/doc/lumasift/copyright",
    "usr/share/doc/lumasift/changelog.gz",
]


def metadata(out_dir, source_dir):
    deb = the_package(out_dir)
    with tempfile.TemporaryDirectory() as root:
        unpack(deb, root)
        missing = [path for path in EXPECTED_FILES if not os.path.isfile(os.path.join(root, path))]
        if missing:
            fail(f"the package lacks {missing}")
        # Nothing but the programs goes into /usr/bin: the shipped files live
        # under /usr/share/lumasift.
        if sorted(os.listdir(os.path.join(root, "usr/bin"))) != ["lumasift", "lumasift-cli"]:
            fail(f"usr/bin holds {os.listdir(os.path.join(root, 'usr/bin'))}")
        # The extra signatures ship whenever the tree has them.
        signatures = os.path.join(source_dir, "Signatures")
        for name in sorted(os.listdir(signatures)) if os.path.isdir(signatures) else []:
            if not name.startswith(".") and not os.path.isfile(
                    os.path.join(root, "usr/share/lumasift/Signatures", name)):
                fail(f"Signatures/{name} is not in /usr/share/lumasift/Signatures")

        desktop = os.path.join(root, EXPECTED_FILES[5])
        if run(["desktop-file-validate", desktop]).returncode != 0:
            fail("desktop-file-validate rejects the menu entry")
        with open(desktop, encoding="utf-8") as entry:
            if 'Exec="/usr/bin/lumasift"' not in entry.read().splitlines():
                fail("the menu entry does not start /usr/bin/lumasift")

        if run(["appstreamcli", "validate", "--no-net", os.path.join(root, EXPECTED_FILES[6])]).returncode != 0:
            fail("appstreamcli rejects the metadata")

        # The copyright file is machine-readable and names the licence.
        with open(os.path.join(root, "usr/share/doc/lumasift/copyright"), encoding="utf-8") as copyright:
            text = copyright.read()
        if not text.startswith("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"):
            fail("copyright is not in the machine-readable format")
        if "\nLicense: Lumasift-EULA\n LUMASIFT END-USER LICENCE AGREEMENT\n" not in text:
            fail("copyright lacks the text of license.txt")


def programs(out_dir, source_dir):
    deb = the_package(out_dir)
    version = field(deb, "Version")
    with tempfile.TemporaryDirectory() as root, tempfile.TemporaryDirectory() as home:
        unpack(deb, root)
        bin_dir = os.path.join(root, "usr/bin")
        env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, "config"),
                   QT_QPA_PLATFORM="offscreen", LANGUAGE="de_DE", PATH=bin_dir + ":" + os.environ["PATH"])
        cli = os.path.join(bin_dir, "lumasift-cli")

        result = run([cli, "--version"], env=env)
        if result.returncode != 0 or result.stdout != f"lumasift-cli {version}\n":
            fail(f"lumasift-cli --version does not print the package's version {version}")

        samples = os.path.join(source_dir, "samples")
        result = run([cli, "--page", os.path.join(samples, "sample-page.html"),
                      "--headers", os.path.join(samples, "sample-headers.txt")], env=env)
        if result.returncode != 0 or result.stdout != "WordPress, nginx/1.24.0, PHP/8.2.12\n":
            fail("lumasift-cli does not identify the saved page")

        # The window: starts offscreen without the update check (nothing
        # leaves the machine), finds its languages under usr/share/lumasift,
        # loads the one the desktop's language names, and ends.
        before = sorted(os.listdir(bin_dir))
        result = run([os.path.join(bin_dir, "lumasift"), "--check-installation"], env=env, timeout=120)
        lines = result.stdout.splitlines()
        expected = [
            "Program folder: " + bin_dir,
            "Shipped files: " + os.path.join(root, "usr/share/lumasift"),
            "Data folder: " + os.path.join(home, "config/CORVANE/Lumasift") + "/",
            "Language folder: " + os.path.join(root, "usr/share/lumasift/Languages"),
            "Language files: French.lang.txt, German.lang.txt, Turkish.lang.txt",
            "Language: German",
        ]
        if result.returncode != 0 or lines != expected:
            fail(f"lumasift --check-installation printed {lines}, expected {expected}")
        # An installed copy writes nothing beside itself, even as root.
        if sorted(os.listdir(bin_dir)) != before:
            fail(f"the window wrote into its program folder: {sorted(os.listdir(bin_dir))}")

        completion(os.path.join(root, "usr/share/bash-completion/completions/lumasift-cli"), env)


def completion(script, env):
    """The bash completion offers the tool's options and the formats."""
    loader = "/usr/share/bash-completion/bash_completion"
    if not os.path.isfile(loader):
        fail(f"{loader} is missing (scripts/install-deps.sh installs bash-completion)")
    cases = [
        (["lumasift-cli", "--fo"], ["--format"]),
        (["lumasift-cli", "--ver"], ["--version"]),
        (["lumasift-cli", "--format", "j"], ["jsonl"]),
        (["lumasift-cli", "--threads", ""], ["1", "auto"]),
        (["lumasift-cli", "--user-agent", "--"], []),  # a value, not an option
    ]
    for words, expected in cases:
        program = (
            f"source {loader}; source {script}; "
            f"COMP_WORDS=({' '.join(repr(word) for word in words)}); COMP_CWORD={len(words) - 1}; "
            f"COMP_LINE={repr(' '.join(words))}; COMP_POINT=${{#COMP_LINE}}; "
            f"_lumasift_cli lumasift-cli {repr(words[-1])} {repr(words[-2])}; "
            "printf '%s\\n' \"${COMPREPLY[@]}\""
        )
        result = subprocess.run(["bash", "-c", program], capture_output=True, text=True, env=env)
        offered = sorted(line for line in result.stdout.splitlines() if line)
        if offered != expected:
            fail(f"completing {words} offers {offered}, expected {expected} ({result.stderr.strip()})")


def manual(program, manual_page):
    """Every option the program's --help prints is described in its manual."""
    result = run([program, "--help"])
    if result.returncode != 0:
        fail(f"{program} --help failed")
    options = sorted(set(re.findall(r"^ +(?:-\w, )?(--[a-z][a-z-]*)", result.stdout, re.M)))
    if not options:
        fail(f"{program} --help lists no option")
    with open(manual_page, encoding="utf-8") as page:
        # roff writes a hyphen as "\-"; the options are looked for in the
        # OPTIONS section, as the item of a tagged paragraph.
        text = page.read().replace("\\-", "-")
    section = text.split("\n.SH OPTIONS\n", 1)[-1].split("\n.SH ", 1)[0]
    missing = [option for option in options
               if not re.search(r"^\.(TP\n\.)?[BI]+R? .*?" + re.escape(option) + r"\b", section, re.M)]
    if missing:
        fail(f"{os.path.basename(manual_page)} does not describe {missing}")
    print(f"{os.path.basename(manual_page)} describes {options}")


def main(argv):
    commands = {"build": build, "lintian": lintian, "metadata": metadata, "programs": programs, "manual": manual}
    if len(argv) < 2 or argv[1] not in commands:
        print(__doc__)
        return 2
    commands[argv[1]](*argv[2:])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

#!/usr/bin/env python3
"""The package manager's manifests as the build writes them.

The three manifests validate against the published schemas of their manifest
type and name one package and version; the installer manifest carries the
SHA-256 of the program as built and signed, the switches and exit codes the
program has, the uninstall entry it writes (from core/product.h), and
RELEASE_URL or, without it, the placeholder.  The generator run here: without
RELEASE_URL it says so in one line; texts that YAML would read as numbers or
booleans, and a quote, come through as written; bad arguments give one line,
status 1 and no manifest.  A manifest broken on purpose fails validation, so
the check bites.  Skips (status 77) when ../shared holds no schemas.

  winget_manifests.py SOURCE_DIR SHARED_DIR BUILD_DIR [RELEASE_URL]
"""
import hashlib
import json
import pathlib
import re
import subprocess
import sys
import tempfile

import jsonschema
import yaml

SOURCE, SHARED, BUILD = (pathlib.Path(arg) for arg in sys.argv[1:4])
RELEASE_URL = sys.argv[4] if len(sys.argv) > 4 else ""
GENERATOR = SOURCE / "cmake" / "winget-manifests"
PLACEHOLDER = "https://example.invalid/LumovaraSetup.exe"
SCHEMAS = SHARED / "testdata" / "winget"

SWITCHES = {"Silent": "/S", "SilentWithProgress": "/passive", "Log": '/log "<LOGPATH>"'}
RETURN_CODES = {1602: "cancelledByUser", 112: "diskFull", 1618: "installInProgress",
                1638: "downgrade", 3010: "rebootRequiredToFinish", 87: "invalidParameter"}

failures = []


def fail(message):
    print("FAIL: " + message)
    failures.append(message)


def product_constant(header, name):
    match = re.search(r'constexpr char %s\[\] =\s*"([^"]*)";' % name, header)
    return match.group(1).replace("\\\\", "\\")


if not SCHEMAS.is_dir():
    print("SKIP: no package manager schemas at %s (../shared is absent)" % SCHEMAS)
    sys.exit(77)
validators = {kind: jsonschema.Draft7Validator(json.loads(
                  (SCHEMAS / ("manifest.%s.1.10.0.json" % kind)).read_text()))
              for kind in ("version", "defaultLocale", "installer")}

header = (SOURCE / "core" / "product.h").read_text()
PRODUCT = {name: product_constant(header, name) for name in
           ("ProductName", "PublisherName", "ProductVersion", "ProductVersionNumber")}
KEY = product_constant(header, "UninstallKeyPath").rsplit("\\", 1)[1]
PACKAGE = PRODUCT["PublisherName"] + "." + KEY[len(PRODUCT["PublisherName"]) + 1:]
FILES = {"version": PACKAGE + ".yaml", "defaultLocale": PACKAGE + ".locale.en-US.yaml",
         "installer": PACKAGE + ".installer.yaml"}


def read_manifests(folder):
    """The three manifests' data by type, and what is wrong with them."""
    data, problems = {}, []
    for kind, name in FILES.items():
        path = folder / name
        if not path.is_file():
            problems.append("%s is missing" % name)
            continue
        text = path.read_text(encoding="utf-8")
        schema_line = ("# yaml-language-server: $schema=https://aka.ms/winget-manifest.%s.1.10.0.schema.json"
                       % kind)
        if (text.splitlines() or [""])[0] != schema_line:
            problems.append("%s does not begin with %s" % (name, schema_line))
        try:
            manifest = yaml.safe_load(text)
        except yaml.YAMLError as error:
            problems.append("%s is not YAML: %s" % (name, str(error).splitlines()[0]))
            continue
        for error in validators[kind].iter_errors(manifest):
            problems.append("%s: %s: %s" % (name, "/".join(map(str, error.path)), error.message))
        if isinstance(manifest, dict):
            if manifest.get("ManifestType") != kind:
                problems.append("%s has ManifestType %r" % (name, manifest.get("ManifestType")))
            data[kind] = manifest
    identities = {(m.get("PackageIdentifier"), m.get("PackageVersion")) for m in data.values()}
    if identities != {(PACKAGE, PRODUCT["ProductVersionNumber"])}:
        problems.append("the manifests name %s" % sorted(identities, key=str))
    return data, problems


def check_installer(installer, sha256, url, name=PRODUCT["ProductName"], version=PRODUCT["ProductVersion"]):
    entry = installer.get("Installers", [{}])[0]
    codes = {row["InstallerReturnCode"]: row["ReturnResponse"] for row in installer.get("ExpectedReturnCodes", [])}
    expected = {
        "InstallerType": (installer.get("InstallerType"), "exe"),
        "Scope": (installer.get("Scope"), "machine"),
        "Architecture": (entry.get("Architecture"), "x64"),
        "InstallerUrl": (entry.get("InstallerUrl"), url),
        "InstallerSha256": (entry.get("InstallerSha256", "").lower(), sha256),
        "InstallerSwitches": (installer.get("InstallerSwitches"), SWITCHES),
        "ExpectedReturnCodes": (codes, RETURN_CODES),
        "UpgradeBehavior": (installer.get("UpgradeBehavior"), "install"),
        "ProductCode": (installer.get("ProductCode"), KEY),
        # requireAdministrator in the program's manifest: it asks for elevation itself.
        "ElevationRequirement": (installer.get("ElevationRequirement"), "elevatesSelf"),
        "AppsAndFeaturesEntries": (installer.get("AppsAndFeaturesEntries"),
                                   [{"DisplayName": name, "Publisher": PRODUCT["PublisherName"],
                                     "DisplayVersion": version, "ProductCode": KEY}]),
    }
    for field, (have, want) in expected.items():
        if have != want:
            fail("installer manifest %s is %r, not %r" % (field, have, want))
    # The package manager refuses a manifest that lists a code both ways.
    both = set(installer.get("InstallerSuccessCodes") or []) & set(codes)
    if both:
        fail("installer manifest lists %s as a success and as an expected code" % sorted(both))


# The build's manifests.
setup = BUILD / "LumovaraSetup.exe"
built, problems = read_manifests(BUILD / "winget")
for problem in problems:
    fail("built manifests: " + problem)
if "installer" in built:
    check_installer(built["installer"], hashlib.sha256(setup.read_bytes()).hexdigest(),
                    RELEASE_URL or PLACEHOLDER)
if "defaultLocale" in built:
    locale = built["defaultLocale"]
    if (locale.get("PackageName"), locale.get("Publisher")) != (PRODUCT["ProductName"], PRODUCT["PublisherName"]):
        fail("default locale names %r by %r" % (locale.get("PackageName"), locale.get("Publisher")))

with tempfile.TemporaryDirectory() as work:
    work = pathlib.Path(work)
    program = work / "program.exe"
    program.write_bytes(b"MZ stands in for the program")
    sha256 = hashlib.sha256(program.read_bytes()).hexdigest()

    def generate(out, name, version, url=None, key=KEY):
        args = ["sh", str(GENERATOR), str(out), str(program), name, PRODUCT["PublisherName"], version,
                PRODUCT["ProductVersionNumber"], key] + ([url] if url is not None else [])
        run = subprocess.run(args, capture_output=True, text=True)
        return run.returncode, (run.stdout + run.stderr).splitlines()

    # Rows: name, version text, RELEASE_URL, the one line said or None.
    for row, (name, version, url, said) in enumerate([
            (PRODUCT["ProductName"], PRODUCT["ProductVersion"], None, "RELEASE_URL is not set"),
            (PRODUCT["ProductName"], PRODUCT["ProductVersion"], "", "RELEASE_URL is not set"),
            ("Yes", "2.0", "https://downloads.example.com/it's/LumovaraSetup.exe", None),
            ("VEK Lumovara: Remote #1", "2.0.3", "HTTP://downloads.example.com/LumovaraSetup.exe", None)]):
        out = work / ("row%d" % row)
        status, lines = generate(out, name, version, url)
        if status != 0 or len(lines) != (1 if said else 0) or (said and said not in lines[0]):
            fail("generator with %r, %r, URL %r: status %d, said %s" % (name, version, url, status, lines))
            continue
        data, problems = read_manifests(out)
        for problem in problems:
            fail("generator with %r, %r, URL %r: %s" % (name, version, url, problem))
        if "installer" in data:
            check_installer(data["installer"], sha256, url or PLACEHOLDER, name, version)

    # Bad arguments: one line, status 1, nothing written.
    for url, key, said in [("ftp://downloads.example.com/LumovaraSetup.exe", KEY, "not an http or https address"),
                           ("https://downloads.example.com/Lumovara Setup.exe", KEY, "a blank"),
                           ("https://downloads.example.com/a\nb.exe", KEY, "a blank"),
                           ("https://downloads.example.com/LumovaraSetup.exe", "LumovaraRemote", "uninstall key")]:
        out = work / "refused"
        status, lines = generate(out, PRODUCT["ProductName"], PRODUCT["ProductVersion"], url, key)
        if status != 1 or len(lines) != 1 or said not in lines[0] or out.exists():
            fail("generator with URL %r, key %r: status %d, said %s, wrote %s"
                 % (url, key, status, lines, out.exists()))

    # The build's manifests, each broken in one place on a copy: the schemas refuse every one.
    for kind, old, new in [
            ("installer", "ElevationRequirement: elevatesSelf", "ElevationRequirement: elevateSelf"),
            ("installer", "ReturnResponse: rebootRequiredToFinish", "ReturnResponse: rebootRequired"),
            ("installer", "InstallerReturnCode: 1602", "InstallerReturnCode: 0"),
            ("installer", "Scope: machine", "Scope: system"),
            ("installer", "  Silent: /S", "  Silent: ''"),
            ("installer", "InstallerSha256: ", "InstallerSha256: 0"),
            ("installer", "InstallerUrl: '", "InstallerUrl: 'ftp"),
            ("defaultLocale", "License: ", "Licence: "),
            ("version", "DefaultLocale: en-US", "DefaultLocale: en_US_english")]:
        broken = work / "broken"
        broken.mkdir(exist_ok=True)
        for name in FILES.values():
            (broken / name).write_bytes((BUILD / "winget" / name).read_bytes())
        path = broken / FILES[kind]
        text = path.read_text(encoding="utf-8")
        if old not in text:
            fail("%s has no %r to break" % (FILES[kind], old))
            continue
        path.write_text(text.replace(old, new, 1), encoding="utf-8")
        data, problems = read_manifests(broken)
        if not any(problem.startswith(FILES[kind] + ":") for problem in problems):
            fail("%s with %r instead of %r passes its schema" % (FILES[kind], new, old))

if failures:
    sys.exit(1)
print("winget manifests: all checks passed")

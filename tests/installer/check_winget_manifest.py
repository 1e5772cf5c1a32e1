#!/usr/bin/env python3
"""Checks the winget manifest the release command wrote.

    check_winget_manifest.py MANIFEST.yaml SCHEMA.json INSTALLER.exe INSTALLER.nsi

The manifest must pass winget's published JSON schema of singleton manifests
(microsoft/winget-cli's schemas/JSON/manifests/v1.10.0/manifest.singleton.1.10.0.json, as
published: tools/machine-setup.sh puts it into the build environment; without it the check
is skipped, exit code 77), and say what the installer is: its SHA-256,
an NSIS installer for the machine, silent with /S, upgraded only when asked by name, and
the uninstall entry that lumaspire.nsi writes. A manifest the schema must refuse is tried
too, so a schema that checks nothing cannot pass.
"""
import copy
import hashlib
import json
import re
import sys

import jsonschema
import yaml


def main():
    manifest_path, schema_path, installer_path, nsi_path = sys.argv[1:5]
    try:
        open(schema_path).close()
    except OSError:
        print(f'skipped: no winget schema at {schema_path}')
        return 77
    with open(manifest_path, encoding='utf-8') as f:
        manifest = yaml.safe_load(f)
    with open(schema_path, encoding='utf-8') as f:
        schema = json.load(f)
    validator = jsonschema.Draft7Validator(schema)
    failures = [e.message for e in validator.iter_errors(manifest)]

    broken = copy.deepcopy(manifest)
    broken['Installers'][0]['InstallerType'] = 'nsis'
    del broken['License']
    if validator.is_valid(broken):
        failures.append('the schema accepted a manifest without a license and of installer type "nsis"')

    with open(installer_path, 'rb') as f:
        sha256 = hashlib.sha256(f.read()).hexdigest().upper()
    with open(nsi_path, encoding='utf-8') as f:
        nsi = f.read()
    product = re.search(r'!define PRODUCT "([^"]+)"', nsi).group(1)
    publisher = re.search(r'!define PUBLISHER "([^"]+)"', nsi).group(1)
    if not re.search(r'!define UNINST_KEY "[^"]*\\Uninstall\\\$\{PRODUCT\}"', nsi):
        failures.append('the uninstall key is no longer named after the product')

    installer = manifest['Installers'][0]
    switches = installer.get('InstallerSwitches') or {}
    entry = (installer.get('AppsAndFeaturesEntries') or [{}])[0]
    expected = [
        ('InstallerSha256', installer.get('InstallerSha256'), sha256),
        ('InstallerType', installer.get('InstallerType'), 'nullsoft'),
        ('Scope', installer.get('Scope'), 'machine'),
        ('Silent', switches.get('Silent'), '/S'),
        ('SilentWithProgress', switches.get('SilentWithProgress'), '/S'),
        ('UpgradeBehavior', installer.get('UpgradeBehavior'), 'install'),
        ('RequireExplicitUpgrade', installer.get('RequireExplicitUpgrade'), True),
        ('ProductCode', installer.get('ProductCode'), product),
        ('entry ProductCode', entry.get('ProductCode'), product),
        ('entry DisplayName', entry.get('DisplayName'), product),
        ('entry Publisher', entry.get('Publisher'), publisher),
        ('entry DisplayVersion', entry.get('DisplayVersion'), manifest.get('PackageVersion')),
    ]
    for name, got, want in expected:
        if got != want:
            failures.append('%s is %r, not %r' % (name, got, want))
    if not str(installer.get('InstallerUrl', '')).startswith('https://'):
        failures.append('the installer address is not https')

    for failure in failures:
        print('winget manifest: ' + failure)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())

"""What Windows shows under a file's Properties > Details, read back under Wine
through GetFileVersionInfoW, and the one version behind all of it."""

import json
import re
import subprocess

import pytest

from package_wine import AGENT, FILE_VERSION, PACKAGE, PACKAGE_ACTIONS, REPO, SETUP, agent_version, windows_path

VFT_APP, VFT_DLL = 1, 2

FILES = [
    pytest.param(AGENT, "Ombrelin Revozad native messaging host", VFT_APP, id="agent"),
    pytest.param(SETUP, "Ombrelin Revozad per-user setup", VFT_APP, id="setup"),
    pytest.param(PACKAGE_ACTIONS, "Ombrelin Revozad package actions", VFT_DLL, id="package-actions"),
]


@pytest.mark.parametrize("path, description, file_type", FILES)
def test_each_shipped_file_says_what_it_is_and_which_version(wine, path, description, file_type):
    result = wine.run([FILE_VERSION, windows_path(path)])
    assert result.returncode == 0, result.stdout
    version = agent_version()
    assert json.loads(result.stdout) == {
        "fileVersion": f"{version}.0",
        "productVersion": f"{version}.0",
        "fileType": file_type,
        "translations": ["040904b0"],
        "strings": {
            "CompanyName": "Ombrelin",
            "FileDescription": description,
            "FileVersion": version,
            "InternalName": path.stem,
            "OriginalFilename": path.name,
            "ProductName": "Ombrelin Revozad",
            "ProductVersion": version,
        },
    }


def test_a_file_without_a_version_resource_is_reported(wine, tmp_path):
    bare = tmp_path / "bare.exe"
    bare.write_bytes(b"MZ not a program")
    result = wine.run([FILE_VERSION, windows_path(bare)])
    assert result.returncode == 1
    assert "error" in json.loads(result.stdout)


def test_the_package_and_the_programs_carry_the_projects_version():
    project = re.search(r"project\(ombrelin_agent VERSION (\S+)", (REPO / "CMakeLists.txt").read_text()).group(1)
    assert agent_version() == project
    properties = subprocess.run(["msiinfo", "export", str(PACKAGE), "Property"], capture_output=True, text=True,
                                check=True, timeout=30).stdout
    assert f"ProductVersion\t{project}" in properties.splitlines()

"""Reads what the installer left in the installation folder."""
import json
from pathlib import Path

INSTALL_DIR = Path(__file__).resolve().parent.parent


def read_json(name):
    with open(INSTALL_DIR / name, encoding="utf-8") as f:
        return json.load(f)


def version():
    return read_json("release.json")["version"]


def language():
    """The chosen language, or None while the user still has to pick one."""
    config = read_json("config.json")
    try:
        choices = read_json("install.json")
    except FileNotFoundError:
        choices = {}
    if choices.get("selectLanguage"):
        return None
    return config["defaultLanguage"]

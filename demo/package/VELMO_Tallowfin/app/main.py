"""VELMO Tallowfin AI, demo edition: shows that the installed files work together."""
import sys

import runtime


def main():
    config = runtime.read_json("config.json")
    print(f"{config['appName']} {runtime.version()}")
    chosen = runtime.language()
    if chosen is None:
        print("Language: to be chosen at first start (" + ", ".join(config["languages"]) + ")")
    else:
        print(f"Language: {chosen}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

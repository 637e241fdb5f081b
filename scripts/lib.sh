# Shared by the scripts in this folder; sourced, not run.
VELMORA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VELMORA_CACHE=${VELMORA_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/velmora}


log() { printf '[velmora] %s\n' "$*" >&2; }
die() { printf '[velmora] error: %s\n' "$*" >&2; exit 1; }

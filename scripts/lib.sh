# Shared by the scripts in this folder; sourced, not run.
VELMORA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VELMORA_CACHE=${VELMORA_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/velmora}


log() { printf '[velmora] %s\n' "$*" >&2; }
die() { printf '[velmora] error: %s\n' "$*" >&2; exit 1; }

# configure_build <preset> [folder]: configures against the cache setup has just filled, so a
# folder configured earlier with another cache never builds a bundle without the speech tools.
configure_build() {
  local args=(--preset "$1")
  [ -n "${2:-}" ] && args+=(-B "$2")
  cmake "${args[@]}" -DVELMORA_CACHE_DIR="$VELMORA_CACHE" \
    -DVELMORA_WHISPER_RUNTIME_DIR="$VELMORA_CACHE/whisper-runtime" >/dev/null
}

# Where an installation of Velmora lives, shared by install and uninstall; sourced, not run.

# install_places <system:0|1>: sets DEST, APPLICATIONS, ICONS.
install_places() {
  if [[ $1 == 1 ]]; then
    DEST=/opt/Velmora
    APPLICATIONS=/usr/local/share/applications
    ICONS=/usr/local/share/icons/hicolor
  else
    DEST=$HOME/Applications/Velmora
    APPLICATIONS=${XDG_DATA_HOME:-$HOME/.local/share}/applications
    ICONS=${XDG_DATA_HOME:-$HOME/.local/share}/icons/hicolor
  fi
}

# The pids of this user's copies started from $1/bin/velmora.
copies_of() {
  local exe=$1/bin/velmora pid
  for pid in $(pgrep -u "$(id -u)" -x velmora || true); do
    [[ $(readlink -f "/proc/$pid/exe" 2>/dev/null) == "$(readlink -f "$exe" 2>/dev/null)" ]] && echo "$pid"
  done
  return 0
}

# Asks a running copy from $1 to quit (never during a dictation) and waits for it.
quit_running_copy() {
  local bundle=$1 waited=0
  [[ -n $(copies_of "$bundle") ]] || return 0
  log "quitting the running copy"
  while [[ -n $(copies_of "$bundle") ]]; do
    if (( waited % 10 == 0 )); then "$bundle/bin/velmora" --quit >/dev/null 2>&1 || true; fi
    if (( waited >= 300 )); then
      die "Velmora is still busy (a dictation is running). Finish it, then run this again."
    fi
    sleep 0.1
    waited=$((waited + 1))
  done
}

# desktop_exec <path>: the path as a desktop entry's Exec argument, quoted where needed.
desktop_exec() {
  local arg=${1//%/%%}
  if [[ $arg =~ [[:space:]\"\'\\\>\<~\|\&\;\$\*\?\#\(\)\`] ]]; then
    arg=${arg//\\/\\\\}; arg=${arg//\"/\\\"}; arg=${arg//\`/\\\`}; arg=${arg//\$/\\\$}
    arg="\"$arg\""
  fi
  # The value is a string value too: its backslashes are escaped once more.
  printf '%s' "${arg//\\/\\\\}"
}

# The files install adds beside the bundle, relative to APPLICATIONS and ICONS.
icon_files() {
  local size
  for size in 16 22 24 32 48 64 128 256 512; do echo "${size}x${size}/apps/velmora.png"; done
  echo "scalable/apps/velmora.svg"
}

refresh_desktop_caches() {
  if command -v update-desktop-database >/dev/null; then update-desktop-database -q "$APPLICATIONS" || true; fi
  if command -v gtk-update-icon-cache >/dev/null && [[ -f $ICONS/index.theme ]]; then
    gtk-update-icon-cache -q -t -f "$ICONS" || true
  fi
}

# write_menu_entry <bundle> <file>: the menu entry that starts the bundle's velmora, with its toggle action.
write_menu_entry() {
  local exec_path; exec_path=$(desktop_exec "$1/bin/velmora")
  cat > "$2" <<ENTRY
[Desktop Entry]
Type=Application
Name=Velmora
GenericName=Dictation
Comment=Turn speech into text from the system tray
Exec=$exec_path
TryExec=${1//\\/\\\\}/bin/velmora
Icon=velmora
Terminal=false
Categories=Utility;Accessibility;
Keywords=dictation;speech;voice;transcribe;whisper;
StartupNotify=false
Actions=Toggle;

[Desktop Action Toggle]
Name=Start or Stop Dictation
Exec=$exec_path --toggle
ENTRY
}

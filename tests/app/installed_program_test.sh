#!/usr/bin/env bash
# Installs the build into a scratch prefix, makes the prefix read-only, and runs the installed
# programs as a user would: pokopen-cli on a song, and pokopen (under Xvfb when it is there)
# opening a song, test-playing it and closing. The INI file and the play file must land in the
# per-user folders, since the install folder cannot be written.
#   installed_program_test.sh BUILD_DIR SONG
set -euo pipefail
build=$1
song=$2

work=$(mktemp -d /tmp/pokopen-installed.XXXXXX)
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
chmod 755 "$work"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
cp "$song" "$work/song.kn2"
chmod -R a+rX "$work"
chmod -R a-w "$prefix"

home=$work/home
mkdir -p "$home"
chmod 777 "$home"

# Root writes through permission bits; run the programs as an ordinary user then.
as_user=()
if [ "$(id -u)" -eq 0 ]; then
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
run() {
    env -i PATH=/usr/bin:/bin HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache" \
        XDG_RUNTIME_DIR="$home/runtime" POKOPEN_AUDIO_DRIVER=file "${as_user[@]}" "$@"
}

run "$prefix/bin/pokopen-cli" info "$work/song.kn2" | grep -q '^title: ' || { echo "pokopen-cli info failed"; exit 1; }

if command -v xvfb-run >/dev/null; then
    gui=(xvfb-run -a -s "-screen 0 1024x768x24" env QT_QPA_PLATFORM=xcb)
else
    gui=(env QT_QPA_PLATFORM=offscreen)
fi
if ! run timeout 60 "${gui[@]}" "$prefix/bin/pokopen" --test-play-and-quit "$work/song.kn2" >"$work/gui.log" 2>&1; then
    echo "the installed pokopen did not open, play and close the song:"; cat "$work/gui.log"; exit 1
fi

ini=$(find "$home" -name 'pokopen.ini' | head -n 1)
mid=$(find "$home" -name 'knb.mid' | head -n 1)
[ -n "$ini" ] || { echo "no INI file in the per-user folders"; find "$home"; exit 1; }
grep -q '^\[PALETTE\]' "$ini" || { echo "the INI file has no palette position"; cat "$ini"; exit 1; }
[ -n "$mid" ] || { echo "no play file in the per-user folders"; find "$home"; exit 1; }
head -c 4 "$mid" | grep -q MThd || { echo "the play file is not a MIDI file"; exit 1; }
if find "$prefix" -name 'pokopen.ini' -o -name 'knb.mid' | grep -q .; then
    echo "files were written into the install folder"; exit 1
fi
echo "installed program: INI at ${ini#$home/}, play file at ${mid#$home/}"

# SPDX-License-Identifier: MIT
# tests/e2e/xdrive.sh — sourced by the end-to-end runs and the soak: a private Xvfb and the
# few xdotool/xwininfo steps a viewer's actions need. The caller defines fail() and keeps
# scratch (a directory), rpid (the program's pid) and xpid (set here) for its cleanup.

# The server picks a free display itself and says which (-displayfd), so no number is taken
# while another server still holds it. -noreset: by default the server resets whenever its
# last client leaves, and a client that connects during that reset is dropped, so a program
# started right after an xwininfo poll (ours: every 0.1 s) found "no display" now and then.
startX() { # [WxH] the screen's size, 1024x768 unless given
    local fd="$scratch/display"
    Xvfb -displayfd 3 -screen 0 "${1:-1024x768}x24" -nolisten tcp -noreset 3>"$fd" >/dev/null 2>&1 &
    xpid=$!
    for _ in $(seq 100); do [ -s "$fd" ] && break; sleep 0.1; done
    [ -s "$fd" ] || fail "Xvfb did not start"
    export DISPLAY=":$(cat "$fd")"
    for _ in $(seq 50); do xwininfo -root >/dev/null 2>&1 && return 0; sleep 0.1; done
    fail "Xvfb on $DISPLAY does not accept clients"
}
# Waits for the server to be gone: a server still shutting down removes its socket, and with
# it the socket of a new server that took the same display number meanwhile.
stopX() {
    [ -n "$xpid" ] || return 0
    kill "$xpid" 2>/dev/null
    wait "$xpid" 2>/dev/null
    xpid=""
}
windowId() { xwininfo -root -tree 2>/dev/null | grep -F "\"$1\":" | awk '{print $1}' | head -1; }
viewable() { xwininfo -id "$1" 2>/dev/null | grep -q "Map State: IsViewable"; }
# Echoes the window's id once it is shown (viewable), while the program runs. A window that
# exists is not enough: the demo's is made hidden while the question is up, and keys or
# geometry taken from it then belong to nothing a viewer sees.
waitWindow() { # title seconds
    local id
    for _ in $(seq $(($2 * 10))); do
        id=$(windowId "$1")
        [ -n "$id" ] && viewable "$id" && { echo "$id"; return 0; }
        kill -0 "$rpid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}
# Focus first and wait for it (bounded), so a key sent on a busy machine reaches the window.
press() { timeout 5 xdotool windowfocus --sync "$1" 2>/dev/null; xdotool key "$2"; }

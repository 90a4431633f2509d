# SPDX-License-Identifier: MIT
# Checks a frame log of the whole song (rinta-capture --log) against the timeline a viewer
# must see: which scene is on screen in each order, scene 1 forced until the credits hand
# over to the cube runs once inside orders 20 to 22, and the order-32 ending at the song's
# length. Variables: song_ms, the song's length. Prints "FAIL: ..." lines, then one summary
# line "frames N ... handover_frame F ..." for the script; exits 1 on any failure.

function fail(msg) {
    if (++failures <= 20)
        print "FAIL: " msg
}

# The scene the song selects for an order, before the hand-over.
function song_scene(order) {
    if (order <= 7) return 1
    if (order <= 9) return 2
    if (order <= 11) return 3
    if (order <= 15) return 4
    if (order <= 19) return 5
    if (order <= 22) return 6
    if (order <= 25) return 7
    return 8
}

# Splits a scene list such as "1,6[6,7]" into the globals first_scene, last_scene (the last
# one at the outer level, which drew last), nested (1 if there are brackets), sixes (runs of
# scene 6) and sixes_to_handover (runs of scene 6 up to the one that opened the brackets).
function parse_scenes(list,    i, c, depth, prev) {
    first_scene = substr(list, 1, 1) + 0
    last_scene = 0; nested = 0; sixes = 0; sixes_to_handover = -1; depth = 0; prev = ""
    for (i = 1; i <= length(list); i++) {
        c = substr(list, i, 1)
        if (c == "[") {
            if (nested == 0) sixes_to_handover = sixes
            depth++; nested = 1
            if (prev != "6") fail("frame " $1 ": scene " prev " dispatched from inside its frame: " list)
        } else if (c == "]") {
            depth--
        } else if (c ~ /[1-8]/) {
            if (depth == 0) last_scene = c + 0
            if (c == "6") sixes++
        } else if (c != ",") {
            fail("frame " $1 ": cannot read the scene list '" list "'")
        }
        prev = c
    }
    if (depth != 0) fail("frame " $1 ": unbalanced brackets in '" list "'")
}

BEGIN { failures = 0; frames = 0; prev_ms = 0; prev_order = 0; handover = 0; six_runs = 0; ended = 0 }

/^#/ { next }

$1 == "end" {
    ended = 1; end_ms = $2 + 0; end_order = $3 + 0; end_reason = $4
    if (end_reason != "order32") fail("the run ended by " end_reason ", not by the song reaching order 32")
    if (end_order != 32) fail("the song was released at order " end_order ", want 32")
    # The song's last sample falls inside the frame that meets order 32, never earlier.
    if (!(prev_ms <= song_ms && end_ms >= song_ms))
        fail(sprintf("the demo ended at %.3f ms after a last frame at %.3f ms; the song is %.3f ms", end_ms, prev_ms,
                     song_ms))
    next
}

{
    if (ended) { fail("a frame after the end line: " $0); next }
    if (NF != 6) { fail("line " NR " has " NF " fields: " $0); next }
    frame = $1 + 0; ms = $2 + 0; order = $3 + 0; row = $4 + 0; override = $5 + 0
    frames++
    if (frame != frames) fail("frame " frame " where frame " frames " was due")
    if (ms <= prev_ms) fail("frame " frame ": demo time " ms " ms does not move on from " prev_ms)
    if (ms - prev_ms > max_frame_ms) max_frame_ms = ms - prev_ms
    if (order < prev_order) fail("frame " frame ": order goes back from " prev_order " to " order)
    if (order < 0 || order > 31) fail("frame " frame ": order " order " is shown, want 0 to 31")
    if (row < 0 || row > 63) fail("frame " frame ": row " row)
    # An order's first frame comes within one frame of the order's start in the song.
    if (order > prev_order || frames == 1) {
        first_frame_of[order] = frame
        start_ms = order * song_ms / 32
        if (ms <= start_ms && order > 0 || (frames > 1 && prev_ms > start_ms))
            fail(sprintf("order %d is first shown at %.3f ms (frame before: %.3f ms); it starts at %.3f ms", order,
                         ms, prev_ms, start_ms))
    }

    parse_scenes($6)
    six_before = six_runs
    six_runs += sixes
    if (nested) {
        handover++
        if (handover == 1) {
            handover_frame = frame; handover_order = order; handover_ms = ms
            handover_six = six_before + sixes_to_handover
        }
        if ($6 !~ /6\[([1-8],)*7(,[1-8])*\]$/)
            fail("frame " frame ": the hand-over's nested dispatch did not run scene 7 last in the frame: " $6)
        if (override != 6) fail("frame " frame ": the hand-over left SceneOverride at " override ", want 6")
    } else if (handover == 0) {
        if (first_scene != 1) fail("frame " frame " (order " order "): scene " first_scene " ran first, want 1")
        if (override != 0) fail("frame " frame ": SceneOverride " override " before the hand-over")
    } else {
        if ($6 ~ /1/) fail("frame " frame ": scene 1 still runs after the hand-over: " $6)
        if (override != 6) fail("frame " frame ": SceneOverride " override " after the hand-over, want 6")
    }

    want = song_scene(order)
    if (handover > 0 && !nested && order >= 20 && order <= 22) want = 7 # the cube runs cover the credits
    if (last_scene != want)
        fail("frame " frame " (order " order ", row " row "): the viewer sees scene " last_scene ", want " want \
             " (ran " $6 ")")
    if (handover > 0 && !nested && order <= 22) frames_after_handover++
    prev_ms = ms; prev_order = order
}

END {
    if (frames == 0) fail("no frames in the log")
    if (!ended) fail("no end line: the run did not finish")
    for (k = 0; k <= 31; k++)
        if (!(k in first_frame_of)) fail("order " k " never reaches the screen")
    if (handover != 1) fail("the credits handed over " handover " times, want exactly once")
    else {
        if (handover_order < 20 || handover_order > 22)
            fail("the hand-over came in order " handover_order ", outside orders 20 to 22")
        if (handover_six != 1024)
            fail("the hand-over came at scene 6's run " handover_six ", want its 1024th frame")
    }
    # The margin: frames that orders 20 to 22 still held after the hand-over frame.
    printf "frames %d end_ms %.3f max_frame_ms %.3f handover_frame %d handover_order %d handover_ms %.3f " \
           "frames_after_handover %d margin_ms %.3f\n", frames, end_ms, max_frame_ms, handover_frame, handover_order, \
           handover_ms, frames_after_handover, handover == 1 ? 23 * song_ms / 32 - handover_ms : -1
    exit failures > 0
}

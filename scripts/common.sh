# Shared steps of scripts/test, scripts/demo and scripts/bench. Source it.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${TVN_BUILD_DIR:-$ROOT/build}

tvn_build() {
    "$ROOT/scripts/install-deps"
    if [ ! -f "$BUILD/build.ninja" ]; then
        cmake -S "$ROOT" -B "$BUILD" -G Ninja \
            -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
            -DCMAKE_BUILD_TYPE=Release >/dev/null
    fi
    cmake --build "$BUILD" "$@"
}

# Fails, naming the files and the command that fixes them, when a C++ file of
# the project is not formatted as .clang-format says.
tvn_check_format() {
    local unformatted=() file
    while IFS= read -r file; do
        if ! clang-format --dry-run --Werror "$ROOT/$file" >/dev/null 2>&1; then
            unformatted+=("$file")
        fi
    done < <(git -C "$ROOT" ls-files --cached --others --exclude-standard '*.cpp' '*.h')
    if ((${#unformatted[@]})); then
        echo "format: not formatted as .clang-format says: ${unformatted[*]}" >&2
        echo "format: fix with: (cd $ROOT && clang-format -i ${unformatted[*]})" >&2
        return 1
    fi
}

# Wine in the given prefix, quiet, without Mono/Gecko prompts.
tvn_wine_env() {
    export WINEPREFIX=$1
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
}

XVFB_PID=
# Starts a private Xvfb and exports DISPLAY, unless told to use the caller's.
tvn_start_display() {
    local fd_file
    fd_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fd_file" >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 100); do
        [ -s "$fd_file" ] && break
        sleep 0.1
    done
    export DISPLAY=":$(head -n1 "$fd_file")"
    rm -f "$fd_file"
}

# Creates the prefix once and keeps a persistent wine server up. Call after
# the display is up, so that the server's desktop belongs to that display.
tvn_start_wine() {
    if [ ! -d "$WINEPREFIX/drive_c" ]; then
        wineboot -i >/dev/null 2>&1 || true
    fi
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    wineserver -p </dev/null >/dev/null 2>&1
    wine cmd /c exit >/dev/null 2>&1 || true
    if [ -n "$XVFB_PID" ]; then
        tvn_window_manager absent
    else
        tvn_window_manager present
    fi
}

# Tells Wine whether a window manager runs on the display. On a private Xvfb
# there is none, and Wine would wait two seconds for one every time a window
# closes; it then draws the title bars itself.
tvn_window_manager() {
    local key='HKCU\Software\Wine\X11 Driver'
    if [ "$1" = absent ]; then
        wine reg add "$key" /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || true
    else
        wine reg delete "$key" /v Managed /f >/dev/null 2>&1 || true
    fi
}

# Puts Wine's own Tahoma and Marlett (package fonts-wine) into the prefix:
# this Wine does not find them where the package installs them, and without
# them the window is drawn in a wider substitute font and the title-bar
# buttons show letters. Wine's tahomabd.ttf has the same outlines as
# tahoma.ttf and only its bitmaps for 12 pixels and below are bold, so from
# 120 DPI up the bold status lines look regular in screenshots taken here,
# though they are measured and laid out as bold; Windows' own Tahoma Bold is
# bold at every size.
tvn_wine_fonts() {
    local fonts="$WINEPREFIX/drive_c/windows/Fonts" font
    mkdir -p "$fonts"
    for font in /usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/tahomabd.ttf \
        /usr/share/wine/fonts/marlett.ttf; do
        if [ -f "$font" ] && [ ! -f "$fonts/$(basename "$font")" ]; then
            cp "$font" "$fonts/"
        fi
    done
}

# A volume of 2 MB as drive T: of the prefix, for the test of a drive too
# full for a backup and a copy. Where mounting is not allowed the test says
# so and is skipped.
tvn_small_volume() {
    local dir="$BUILD/small-volume"
    mkdir -p "$dir"
    if ! mountpoint -q "$dir" && ! mount -t tmpfs -o size=2m tmpfs "$dir" 2>/dev/null; then
        echo "note: no small volume could be mounted; the full-drive test is skipped"
        return 0
    fi
    ln -sfn "$dir" "$WINEPREFIX/dosdevices/t:"
}

tvn_small_volume_off() {
    rm -f "${WINEPREFIX:-/nonexistent}/dosdevices/t:"
    if mountpoint -q "$BUILD/small-volume" 2>/dev/null; then
        umount "$BUILD/small-volume" 2>/dev/null || true
    fi
}

# Runs the tests that need an account Unix may refuse (Wine running as root
# may do anything) again as the user tvn-tester, in a prefix of its own, and
# prints what they did. Skipped with a note where no such user can be made.
TVN_UNPRIVILEGED_TESTS=(
    "engine_tests:CopyFolderTree.AFolderLinkThatCannotBeOpenedBecomesAnEmptyFolder"
    "reliability_tests:Rows/BadInputCatalogue.*/afolderthisaccountmaynotchange"
    # Windows refuses to copy over a hidden or read-only file; Wine does only
    # for an account that is not root.
    "reliability_tests:Rows/BadInputCatalogue.*/hiddenreadonlydesktopini*"
)
tvn_unprivileged_tests() {
    local user=tvn-tester prefix="$BUILD/wineprefix-unprivileged" run output status=0
    local passed=0 skipped=0 failed=0
    if [ "$(id -u)" != 0 ] || ! { id "$user" >/dev/null 2>&1 || useradd -m "$user" >/dev/null 2>&1; }; then
        echo "note: no unprivileged user; the tests of refused folders are skipped"
        return 0
    fi
    local as_user=(runuser -u "$user" -- env HOME="$(getent passwd "$user" | cut -d: -f6)"
                   WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=")
    if [ ! -d "$prefix/drive_c" ]; then
        mkdir -p "$prefix"
        chown "$user" "$prefix"
        "${as_user[@]}" wineboot -i >/dev/null 2>&1 || true
    fi
    for run in "${TVN_UNPRIVILEGED_TESTS[@]}"; do
        output=$("${as_user[@]}" wine "$BUILD/bin/${run%%:*}.exe" --gtest_filter="${run#*:}" 2>&1) || status=1
        if grep -q "^\[  SKIPPED \]" <<<"$output"; then
            skipped=$((skipped + 1))
        elif grep -q "^\[  PASSED  \] 1 test" <<<"$output"; then
            passed=$((passed + 1))
        else
            failed=$((failed + 1))
            status=1
            grep -v "^wine:" <<<"$output" | tail -30
        fi
    done
    "${as_user[@]}" wineserver -k >/dev/null 2>&1 || true
    echo "unprivileged: tests=${#TVN_UNPRIVILEGED_TESTS[@]} passed=$passed skipped=$skipped failed=$failed"
    [ "$skipped" = 0 ] || status=1
    return $status
}

tvn_stop() {
    tvn_small_volume_off
    if [ -n "${WINEPREFIX:-}" ]; then
        wineserver -k >/dev/null 2>&1 || true
    fi
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" >/dev/null 2>&1 || true
        wait "$XVFB_PID" 2>/dev/null || true
        XVFB_PID=
    fi
}

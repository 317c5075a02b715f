#!/usr/bin/env bash
# The suite installed per machine and used by a standard user, the way Windows treats one.
#   standard-user-test.sh BUILD_DIR      (the windows build: BUILD_DIR/bin, BUILD_DIR/installer)
#
# Run as root (CI is): creates the Unix user "cfuser" when it is missing, gives it a Wine prefix
# and a virtual display of its own under BUILD_DIR/standard-user, installs the suite there with
# setup's silent mode (run as that user: under Wine every user is an administrator, which here
# stands for the administrator who installs), lets the test program add what an older version
# left in the program folder's Copperfold.ini, then makes the install folder root's and
# read-only (Program Files as a standard user sees it) and runs the test program as that user.
# Without root it is skipped (exit status 77). GTEST_OUTPUT=xml:DIR\ (a Windows path on Z:, as
# tools/test.sh sets it) receives the program's report.
#
# Adding a case: a TEST_F(StandardUser, ...) in copperfold/tests/win32/standard_user_test.cpp.
# Its fixture starts Copperfold's window in-process as the installed program (StartWindow),
# runs an installed program (RunInstalled, or InstallFolder() for Dockline.exe), and plugs the
# rig's enclosure on E: (PlugEnclosure; then Rigctl(L"press") and the rest of rigctl). A program
# the case needs beside the test program goes into the list `beside` below.
set -uo pipefail
build=$(cd "${1:?windows build folder}" && pwd)
user=cfuser
state="$build/standard-user"
program="$state/program"
test_name=copperfold_standard_user_tests
beside=("$build/bin/$test_name.exe" "$build/bin/rigctl.exe")

skip() { echo "SKIPPED: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "running Wine as an unprivileged user needs root"
command -v runuser >/dev/null || skip "runuser (util-linux) is missing"
setup=$(ls "$build"/installer/Copperfold-*-setup.exe 2>/dev/null | head -n 1)
[ -n "$setup" ] || skip "there is no setup program in $build/installer (makensis missing?)"
for file in "${beside[@]}"; do [ -f "$file" ] || { echo "missing: $file"; exit 1; }; done

if ! id -u "$user" >/dev/null 2>&1; then
  useradd --system --no-create-home --shell /usr/sbin/nologin "$user" || { echo "cannot create the user $user"; exit 1; }
fi

display=""
as_user() {
  runuser -u "$user" -- env -i PATH="$PATH" HOME="$state/home" USER="$user" LOGNAME="$user" LANG=C.UTF-8 \
    WINEPREFIX="$state/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" \
    DISPLAY="$display" "$@"
}
quietly() { "$@" </dev/null >/dev/null 2>&1; }

cleanup() {
  [ -d "$state/prefix" ] && quietly as_user wineserver -k
  [ -f "$state/xvfb.pid" ] && kill "$(cat "$state/xvfb.pid")" 2>/dev/null
  return 0
}
trap cleanup EXIT
cleanup
rm -rf "$state"
mkdir -p "$state/home" "$program"
cp "$setup" "${beside[@]}" "$program/"
chown -R "$user:" "$state"

for n in $(seq 150 199); do
  if [ ! -e "/tmp/.X${n}-lock" ] && [ ! -e "/tmp/.X11-unix/X${n}" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "no free X display number"; exit 1; }
as_user sh -c 'echo $$ >"$1/xvfb.pid"; exec Xvfb "$2" -screen 0 1280x1024x24 -nolisten tcp' xvfb "$state" "$display" \
  </dev/null >"$state/xvfb.log" 2>&1 &
for _ in $(seq 1 100); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.05; done

# Wine's background services must not inherit our output, or ctest waits for them.
quietly as_user wineserver -p
quietly as_user wine cmd /c exit
quietly as_user wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f

echo "=== setup /S as $user"
as_user wine "$program/$(basename "$setup")" /S </dev/null >"$state/setup.log" 2>&1
code=$?
folder="$state/prefix/drive_c/Program Files/Copperfold"
[ $code -eq 0 ] && [ -f "$folder/Copperfold.exe" ] || { echo "setup failed (exit code $code)"; cat "$state/setup.log"; exit 1; }

as_user wine "$program/$test_name.exe" --write-old-file </dev/null || { echo "the old file could not be written"; exit 1; }
chown -R root:root "$folder"
chmod -R a-w "$folder"

echo "=== $test_name as $user"
report="Z:${state//\//\\}\\$test_name.xml"
as_user wine "$program/$test_name.exe" --gtest_output="xml:$report" </dev/null
status=$?

if [[ "${GTEST_OUTPUT:-}" == xml:Z:* ]]; then
  outer="${GTEST_OUTPUT#xml:Z:}"
  outer="${outer//\\//}"
  [ -f "$state/$test_name.xml" ] && cp "$state/$test_name.xml" "$outer/$test_name.xml"
fi
exit $status

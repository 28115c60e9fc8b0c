#!/usr/bin/env bash
# Builds the Debian packages (scripts/package-linux.sh) and checks them without installing them:
# their control fields and contents, lintian, then, unpacked into a scratch root, the upgrader
# (the camera is not found: two lines, exit code 1), the command-line tool (no camera: said at once,
# exit code 1) and its watcher's user service (systemd-analyze verify), the upgrader's maintainer scripts with and without udev, the camera API's
# exports against its header, and the example hosts (examples/host in C++ on Brenwick,
# examples/cameras-host in C on the camera API) built against the unpacked development package
# with find_package and with pkg-config, run against the unpacked libraries (no camera: they say
# so, exit code 1); and the Python package: the wheel's files are the package's, its maintainer
# scripts byte-compile and clean up, and `import optiqon` from the unpacked package lists the
# cameras through the unpacked library (none here) and through the simulated one.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/package-linux.sh

version=$(sed -n 's/^project([A-Za-z_]* VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
architecture=$(dpkg --print-architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
runtime=dist/libbrenwick1_${version}_${architecture}.deb
cameras=dist/liboptiqoncameras1_${version}_${architecture}.deb
development=dist/libbrenwick-dev_${version}_${architecture}.deb
upgrader=dist/optiqon-fw-upgrader_${version}_${architecture}.deb
tool=dist/optiqon_${version}_${architecture}.deb
python=dist/python3-optiqon_${version}_all.deb
wheel=dist/optiqon-${version}-py3-none-any.whl

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
passes=0
failures=0
fail() {
  echo "check-linux-packages: FAILED: $*" >&2
  failures=$((failures + 1))
}
pass() {
  echo "check-linux-packages: ok: $*"
  passes=$((passes + 1))
}

# The control field of a package, compared with what it must be.
expect_field() {
  local deb=$1 field=$2 expected=$3 actual
  actual=$(dpkg-deb --field "$deb" "$field")
  if [ "$actual" = "$expected" ]; then
    pass "$(basename "$deb") $field: $actual"
  else
    fail "$(basename "$deb") $field is '$actual', expected '$expected'"
  fi
}
# The files and links of a package (directories aside), with their modes and owners, as
# dpkg-deb -c lists them, compared with the list on standard input.
expect_contents() {
  local deb=$1
  sort >"$scratch/expected"
  dpkg-deb --contents "$deb" |
    awk '$1 !~ /^d/ { line = $1 " " $2 " " $6; for (i = 7; i <= NF; i++) line = line " " $i; print line }' |
    sort >"$scratch/actual"
  if diff -u "$scratch/expected" "$scratch/actual"; then
    pass "$(basename "$deb") holds exactly the files it should"
  else
    fail "$(basename "$deb") contents differ from the list above (- expected, + found)"
  fi
}

for deb in "$runtime" "$cameras" "$development" "$upgrader" "$tool" "$python" "$wheel"; do
  [ -f "$deb" ] || {
    fail "$deb was not made"
    exit 1
  }
done

lib=usr/lib/$multiarch
doc=(changelog.gz copyright)
expect_contents "$runtime" <<EOF
lrwxrwxrwx root/root ./$lib/libBrenwick.so.1 -> libBrenwick.so.1.0.0
-rw-r--r-- root/root ./$lib/libBrenwick.so.1.0.0
$(for f in "${doc[@]}"; do echo "-rw-r--r-- root/root ./usr/share/doc/libbrenwick1/$f"; done)
EOF
expect_contents "$cameras" <<EOF
lrwxrwxrwx root/root ./$lib/libOptiqonCameras.so.1 -> libOptiqonCameras.so.1.0.0
-rw-r--r-- root/root ./$lib/libOptiqonCameras.so.1.0.0
$(for f in "${doc[@]}"; do echo "-rw-r--r-- root/root ./usr/share/doc/liboptiqoncameras1/$f"; done)
EOF
expect_contents "$development" <<EOF
-rw-r--r-- root/root ./usr/include/Brenwick.h
-rw-r--r-- root/root ./usr/include/BrenwickSafeArray.h
-rw-r--r-- root/root ./usr/include/OptiqonCamera.h
-rw-r--r-- root/root ./usr/include/OptiqonCameras.h
lrwxrwxrwx root/root ./$lib/libBrenwick.so -> libBrenwick.so.1
lrwxrwxrwx root/root ./$lib/libOptiqonCameras.so -> libOptiqonCameras.so.1
-rw-r--r-- root/root ./$lib/cmake/Brenwick/BrenwickConfig.cmake
-rw-r--r-- root/root ./$lib/cmake/Brenwick/BrenwickConfigVersion.cmake
-rw-r--r-- root/root ./$lib/cmake/Brenwick/BrenwickTargets-release.cmake
-rw-r--r-- root/root ./$lib/cmake/Brenwick/BrenwickTargets.cmake
-rw-r--r-- root/root ./$lib/cmake/OptiqonCameras/OptiqonCamerasConfig.cmake
-rw-r--r-- root/root ./$lib/cmake/OptiqonCameras/OptiqonCamerasConfigVersion.cmake
-rw-r--r-- root/root ./$lib/cmake/OptiqonCameras/OptiqonCamerasTargets-release.cmake
-rw-r--r-- root/root ./$lib/cmake/OptiqonCameras/OptiqonCamerasTargets.cmake
-rw-r--r-- root/root ./$lib/pkgconfig/brenwick.pc
-rw-r--r-- root/root ./$lib/pkgconfig/optiqon-cameras.pc
$(for f in "${doc[@]}"; do echo "-rw-r--r-- root/root ./usr/share/doc/libbrenwick-dev/$f"; done)
EOF
expect_contents "$upgrader" <<EOF
-rwxr-xr-x root/root ./usr/bin/optiqon_fw_upgrader
-rwxr-xr-x root/root ./usr/bin/optiqon_upgrade
-rw-r--r-- root/root ./usr/lib/udev/rules.d/70-optiqon-camera.rules
-rw-r--r-- root/root ./usr/share/man/man1/optiqon_fw_upgrader.1.gz
lrwxrwxrwx root/root ./usr/share/man/man1/optiqon_upgrade.1.gz -> optiqon_fw_upgrader.1.gz
$(for f in "${doc[@]}"; do echo "-rw-r--r-- root/root ./usr/share/doc/optiqon-fw-upgrader/$f"; done)
EOF
expect_contents "$tool" <<EOF
-rwxr-xr-x root/root ./usr/bin/optiqon
-rw-r--r-- root/root ./usr/lib/systemd/user/optiqon-watch.service
-rw-r--r-- root/root ./usr/share/man/man1/optiqon.1.gz
$(for f in "${doc[@]}"; do echo "-rw-r--r-- root/root ./usr/share/doc/optiqon/$f"; done)
EOF
site=usr/lib/python3/dist-packages
expect_contents "$python" <<EOF
$(for f in __init__.py _interrupts.py _library.py _version.py camera.py errors.py firmware.py \
  profiles.py py.typed settings.py; do echo "-rw-r--r-- root/root ./$site/optiqon/$f"; done)
$(for f in METADATA RECORD WHEEL top_level.txt; do
  echo "-rw-r--r-- root/root ./$site/optiqon-$version.dist-info/$f"
done)
$(for f in "${doc[@]}"; do echo "-rw-r--r-- root/root ./usr/share/doc/python3-optiqon/$f"; done)
EOF

expect_field "$runtime" Section libs
expect_field "$cameras" Section libs
expect_field "$development" Section libdevel
expect_field "$upgrader" Section utils
expect_field "$tool" Section utils
expect_field "$python" Section python
for deb in "$runtime" "$cameras" "$development" "$upgrader" "$tool" "$python"; do
  expect_field "$deb" Version "$version"
  expect_field "$deb" Source optiqon-service-kit
done
for deb in "$runtime" "$cameras" "$development" "$upgrader" "$tool"; do
  expect_field "$deb" Architecture "$architecture"
done
# Pure Python, which loads this very version of the camera API through ctypes.
expect_field "$python" Architecture all
expect_field "$python" Depends "liboptiqoncameras1 (= $version), python3:any (>= 3.11)"
expect_field "$development" Depends "libbrenwick1 (= $version), liboptiqoncameras1 (= $version)"
expect_field "$runtime" Recommends optiqon-fw-upgrader
expect_field "$cameras" Recommends optiqon-fw-upgrader
# What a check greps is read in full first: a `grep -q` at the end of a pipe leaves at its first
# match, and under pipefail the writer it leaves behind, killed by SIGPIPE, would fail the check.
depends=$(dpkg-deb --field "$tool" Depends)
if grep -q "^liboptiqoncameras1 (= $version), optiqon-fw-upgrader (= $version), " <<<"$depends"; then
  pass "optiqon depends on this version of the camera API and of the upgrader"
else
  fail "optiqon Depends: $depends"
fi
for deb in "$runtime" "$cameras" "$upgrader" "$tool"; do
  depends=$(dpkg-deb --field "$deb" Depends)
  for dependency in libc6 libstdc++6; do
    if grep -Eq "(^|, )${dependency//+/\\+} \(>= [^)]+\)" <<<"$depends"; then
      pass "$(basename "$deb") depends on a version of $dependency"
    else
      fail "$(basename "$deb") does not depend on $dependency: $depends"
    fi
  done
done
# Each library package's shlibs line, and its ldconfig trigger.
expect_shlibs() {
  local deb=$1 line=$2 package
  package=$(dpkg-deb --field "$deb" Package)
  dpkg-deb --ctrl-tarfile "$deb" >"$scratch/control.tar"
  tar -xOf "$scratch/control.tar" ./shlibs >"$scratch/shlibs" || true
  if grep -qx "$line" "$scratch/shlibs" &&
    tar -xOf "$scratch/control.tar" ./triggers >"$scratch/triggers" &&
    grep -qx 'activate-noawait ldconfig' "$scratch/triggers"; then
    pass "$package names its library in shlibs and activates the ldconfig trigger"
  else
    fail "$package: shlibs '$(cat "$scratch/shlibs")' or its ldconfig trigger is wrong"
  fi
}
expect_shlibs "$runtime" "libBrenwick 1 libbrenwick1 (>= $version)"
expect_shlibs "$cameras" "libOptiqonCameras 1 liboptiqoncameras1 (>= $version)"

# lintian: no error; each warning it still gives is explained in docs/packaging.md.
lintian --fail-on error --tag-display-limit 0 "$runtime" "$cameras" "$development" "$upgrader" \
  "$tool" "$python" \
  >"$scratch/lintian" || fail "lintian reports errors"
cat "$scratch/lintian"
while read -r tag; do
  grep -q "\`$tag\`" docs/packaging.md || fail "lintian warning $tag is not explained in docs/packaging.md"
done < <(sed -n 's/^W: [^ ]*: \([^ ]*\).*/\1/p' "$scratch/lintian" | sort -u)
pass "lintian: no errors, every warning explained"

# Unpacked, never installed: the machine's own system stays as it is.
root=$scratch/root
mkdir -p "$root"
for deb in "$runtime" "$cameras" "$development" "$upgrader" "$tool" "$python"; do
  dpkg-deb --extract "$deb" "$root"
done

# The camera API's library exports exactly the functions its header declares: each declaration
# is the export macro, the return type and the name before the parenthesis, on one line or more;
# the preprocessor's lines, the macro's own definitions, declare nothing.
header_functions() {
  grep -v '^[[:space:]]*#' "$1" | tr '\n' ' ' | grep -o 'OPTIQON_CAMERAS_API [^;(]*(' |
    sed 's/.*[ *]\([a-z_]*\)($/\1/' | sort
}
header_functions "$root/usr/include/OptiqonCameras.h" >"$scratch/declared"
nm -D --defined-only "$root/$lib/libOptiqonCameras.so.1" | awk '{ print $3 }' | sort \
  >"$scratch/exported"
if [ -s "$scratch/declared" ] && diff -u "$scratch/declared" "$scratch/exported"; then
  pass "libOptiqonCameras.so.1 exports the $(wc -l <"$scratch/declared") functions of OptiqonCameras.h, nothing else"
else
  fail "libOptiqonCameras.so.1 exports other names than OptiqonCameras.h declares (- declared, + exported)"
fi

# The library starts the upgrader from /usr/bin, where the package puts it.
if grep -aq '/usr/bin' "$root/$lib/libBrenwick.so.1.0.0" &&
  ! grep -aq '/usr/local' "$root/$lib/libBrenwick.so.1.0.0"; then
  pass "the library looks for the upgrader in /usr/bin"
else
  fail "the library does not look for the upgrader in /usr/bin"
fi
if cmp -s "$root/usr/bin/optiqon_fw_upgrader" "$root/usr/bin/optiqon_upgrade"; then
  pass "optiqon_upgrade is the same program as optiqon_fw_upgrader"
else
  fail "optiqon_upgrade and optiqon_fw_upgrader differ"
fi

# No camera here (and no hidraw node at all): both names report it and end with exit code 1.
# The upgrade mode leaves its empty logfile.txt in the current directory: a directory of its own.
mkdir -p "$scratch/run"
printf 'Did not find Corvantis K3M51-USB camera...\nConnect Corvantis K3M51-USB camera Device...and try again\n' \
  >"$scratch/not-found"
for program in optiqon_fw_upgrader optiqon_upgrade; do
  status=0
  (cd "$scratch/run" && "$root/usr/bin/$program" firmware.img) >"$scratch/output" 2>&1 || status=$?
  if [ "$status" -eq 1 ] && cmp -s "$scratch/not-found" "$scratch/output"; then
    pass "unpacked $program: camera not found, exit code 1"
  else
    fail "unpacked $program: exit code $status, output:"
    cat "$scratch/output" >&2
  fi
done

# The tool on the unpacked camera API: no camera here, which it tells on standard output, with
# nothing on standard error.
status=0
LD_LIBRARY_PATH=$root/$lib "$root/usr/bin/optiqon" status --json >"$scratch/output" \
  2>"$scratch/errors" || status=$?
if [ "$status" -eq 1 ] && [ "$(cat "$scratch/output")" = '{"camera":"absent"}' ] &&
  [ ! -s "$scratch/errors" ] &&
  [ "$(LD_LIBRARY_PATH=$root/$lib "$root/usr/bin/optiqon" --version)" = "optiqon $version" ]; then
  pass "unpacked optiqon: its version, and no camera on standard output, exit code 1"
else
  fail "unpacked optiqon status: exit code $status, output '$(cat "$scratch/output")', errors:"
  cat "$scratch/errors" >&2
fi

# The watcher's user service starts the packaged tool's watch, and systemd finds nothing wrong in
# it. systemd-analyze verifies a user unit only as a file (--root is for the system's units), and
# checks that its command is an executable file and that man finds its Documentation page: on a
# copy whose command is the unpacked tool, with man reading the unpacked pages only. It runs
# without a user manager (CI's container has none), but needs a runtime folder. Its complaints
# about a key are warnings with exit code 0: any output fails the check.
unit=$root/usr/lib/systemd/user/optiqon-watch.service
execs=$(grep '^ExecStart=' "$unit" || true)
if [ "$execs" = 'ExecStart=/usr/bin/optiqon watch' ]; then
  pass "optiqon-watch.service runs /usr/bin/optiqon watch"
else
  fail "optiqon-watch.service runs '$execs', expected '/usr/bin/optiqon watch'"
fi
mkdir -p "$scratch/units" "$scratch/runtime"
chmod 700 "$scratch/runtime"
sed "s|^ExecStart=/usr/bin/|ExecStart=$root/usr/bin/|" "$unit" >"$scratch/units/optiqon-watch.service"
status=0
XDG_RUNTIME_DIR=$scratch/runtime MANPATH=$root/usr/share/man \
  systemd-analyze --user verify "$scratch/units/optiqon-watch.service" >"$scratch/output" 2>&1 ||
  status=$?
if [ "$status" -eq 0 ] && [ ! -s "$scratch/output" ]; then
  pass "systemd-analyze verify: optiqon-watch.service is a sound user unit"
else
  fail "systemd-analyze verify optiqon-watch.service: exit code $status: $(cat "$scratch/output")"
fi
status=0
LD_LIBRARY_PATH=$root/$lib "$root/usr/bin/optiqon" watch --help >"$scratch/output" 2>&1 || status=$?
if [ "$status" -eq 0 ]; then
  pass "unpacked optiqon has the watch command the service starts"
else
  fail "unpacked optiqon watch --help: exit code $status: $(cat "$scratch/output")"
fi

# The upgrader's maintainer scripts. Where udev runs (here: a socket at /run/udev/control in a
# private /run, in a mount namespace of their own) they reload the rules and replay the camera's
# nodes, and a udevadm that fails does not fail them; without udevadm, or with udev not running
# (a container), they call nothing and succeed.
control=$scratch/control
dpkg-deb --control "$upgrader" "$control"
mkdir -p "$scratch/no-udevadm" "$scratch/udevadm"
cat >"$scratch/udevadm/udevadm" <<EOF
#!/bin/sh
echo "udevadm \$*" >>"$scratch/udevadm-calls"
exit 1
EOF
chmod 755 "$scratch/udevadm/udevadm"
udev_calls='udevadm control --reload-rules
udevadm trigger --action=change --subsystem-match=hidraw --subsystem-match=video4linux'
# script, action, PATH, udev (running, stopped, or host: the machine as it is), expected calls
check_maintainer_script() {
  local script=$1 action=$2 path=$3 udev=$4 expected=$5 status=0 calls
  rm -f "$scratch/udevadm-calls"
  if [ "$udev" = host ]; then
    PATH=$path "$control/$script" "$action" >"$scratch/output" 2>&1 || status=$?
  else
    # shellcheck disable=SC2016 # expanded by the inner shell
    unshare --mount --propagation private sh -c '
      mount -t tmpfs tmpfs /run && mkdir /run/udev || exit 99
      if [ "$1" = running ]; then
        perl -MIO::Socket::UNIX -e "IO::Socket::UNIX->new(Local => q{/run/udev/control},
          Listen => 1) or exit 99" || exit 99
      fi
      PATH=$2 exec "$3" "$4"' sh "$udev" "$path" "$control/$script" "$action" \
      >"$scratch/output" 2>&1 || status=$?
  fi
  calls=$(cat "$scratch/udevadm-calls" 2>/dev/null || true)
  if [ "$status" -eq 0 ] && [ "$calls" = "$expected" ]; then
    pass "$script $action succeeds (udevadm ${path##*/}, udev $udev), calling ${calls:+udevadm $(wc -l <<<"$calls") times}${calls:-nothing}"
  else
    fail "$script $action (udevadm ${path##*/}, udev $udev): exit code $status, calls '$calls': $(cat "$scratch/output")"
  fi
}
for script_action in postinst:configure postrm:remove; do
  script=${script_action%:*}
  action=${script_action#*:}
  check_maintainer_script "$script" "$action" "$scratch/no-udevadm" host ''
  if unshare --mount true 2>/dev/null; then
    check_maintainer_script "$script" "$action" "$scratch/udevadm" stopped ''
    check_maintainer_script "$script" "$action" "$scratch/udevadm" running "$udev_calls"
  else
    echo "check-linux-packages: no mount namespace here: $script with udev running not checked"
  fi
done

# The example hosts, which know the libraries only as installed packages, against the unpacked
# development package: with find_package, then with pkg-config. Each runs on the unpacked
# library, finds no camera here, says so on its last line and ends with exit code 1.
no_camera='No Corvantis Optiqon camera is connected.'
run_host() {
  local name=$1 how=$2 library=$3 host=$4 status=0 linkage
  LD_LIBRARY_PATH=$root/$lib "$host" >"$scratch/output" 2>&1 || status=$?
  if ! linkage=$(LD_LIBRARY_PATH=$root/$lib ldd "$host") ||
    ! grep -qF "$library => $root/$lib/" <<<"$linkage"; then
    fail "$name ($how) does not load the unpacked $library"
  elif [ "$status" -eq 1 ] && [ "$(tail -n 1 "$scratch/output")" = "$no_camera" ]; then
    pass "$name ($how) runs on the unpacked $library: no camera, exit code 1"
  else
    fail "$name ($how): exit code $status, output:"
    cat "$scratch/output" >&2
  fi
}
# name, source folder, CMake package, pkg-config module, library, program, compile command
build_and_run_host() {
  local name=$1 source=$2 package=$3 module=$4 library=$5 program=$6 build=$scratch/$1-cmake
  shift 6
  cmake -S "$source" -B "$build" -DCMAKE_PREFIX_PATH="$root/usr" \
    -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF >"$scratch/output" 2>&1 || cat "$scratch/output" >&2
  if grep -qx "${package}_DIR:PATH=$root/$lib/cmake/$package" "$build/CMakeCache.txt" &&
    cmake --build "$build" >"$scratch/output" 2>&1; then
    run_host "$name" find_package "$library" "$build/$program"
  else
    fail "$name does not build with find_package($package) from $root/usr"
    cat "$scratch/output" >&2
  fi

  local flags
  flags=$(PKG_CONFIG_PATH=$root/$lib/pkgconfig pkg-config --cflags --libs "$module")
  if [ "$(PKG_CONFIG_PATH=$root/$lib/pkgconfig pkg-config --modversion "$module")" != "$version" ] ||
    [[ $flags != *"-I$root/"* ]] || [[ $flags != *"-L$root/"* ]]; then
    fail "pkg-config gives '$flags' for $module"
  fi
  # shellcheck disable=SC2086 # the flags are words
  if "$@" $flags -o "$scratch/$name-pkg-config" 2>"$scratch/output"; then
    run_host "$name" pkg-config "$library" "$scratch/$name-pkg-config"
  else
    fail "$name does not build with pkg-config's flags: $flags"
    cat "$scratch/output" >&2
  fi
}
build_and_run_host example-host examples/host Brenwick brenwick libBrenwick.so.1 \
  optiqon_example_host c++ -std=c++17 examples/host/main.cpp
# The host in C, built as a C compiler builds it, with every warning an error.
build_and_run_host cameras-host examples/cameras-host OptiqonCameras optiqon-cameras \
  libOptiqonCameras.so.1 optiqon_cameras_host cc -std=c99 -Wall -Wextra -Wpedantic -Werror \
  examples/cameras-host/main.c

# The Python package: the wheel in dist/ holds the very files python3-optiqon installs.
mkdir -p "$scratch/wheel"
(cd "$scratch/wheel" && cmake -E tar xf "$OLDPWD/$wheel")
if diff -r "$scratch/wheel" "$root/$site" >"$scratch/output"; then
  pass "$(basename "$wheel") holds the files of $(basename "$python")"
else
  fail "$(basename "$wheel") and $(basename "$python") differ: $(cat "$scratch/output")"
fi

# Its maintainer scripts: postinst compiles the package's modules and prerm removes their byte
# code, through Debian's py3compile and py3clean (stand-ins here that say how they were called),
# and neither calls anything where those are missing.
mkdir -p "$scratch/no-py3" "$scratch/py3"
ln -sf "$(command -v rm)" "$scratch/no-py3/rm"
for helper in py3compile py3clean; do
  printf '#!/bin/sh\necho "%s $*" >>"%s"\n' "$helper" "$scratch/py3-calls" >"$scratch/py3/$helper"
  chmod 755 "$scratch/py3/$helper"
done
dpkg-deb --control "$python" "$scratch/python-control"
# script, action, PATH, expected calls
check_python_script() {
  local script=$1 action=$2 path=$3 expected=$4 status=0 calls
  rm -f "$scratch/py3-calls"
  PATH=$path "$scratch/python-control/$script" "$action" >"$scratch/output" 2>&1 || status=$?
  calls=$(cat "$scratch/py3-calls" 2>/dev/null || true)
  if [ "$status" -eq 0 ] && [ "$calls" = "$expected" ]; then
    pass "python3-optiqon $script $action (${path##*/}) succeeds, calling ${calls:-nothing}"
  else
    fail "python3-optiqon $script $action (${path##*/}): exit code $status, calls '$calls': $(cat "$scratch/output")"
  fi
}
check_python_script postinst configure "$scratch/py3" 'py3compile -p python3-optiqon'
check_python_script postinst configure "$scratch/no-py3" ''
check_python_script prerm remove "$scratch/py3" 'py3clean -p python3-optiqon'
# Without py3clean, prerm removes the package's byte code itself: only where it is not installed.
if [ ! -e /usr/lib/python3/dist-packages/optiqon ]; then
  check_python_script prerm remove "$scratch/no-py3" ''
fi

# `import optiqon` from the unpacked package, on Debian's python3: through the unpacked camera
# API found by its own name (no camera here: an empty list), then through the simulated camera
# API of the sim build (OPTIQON_LIBRARY) on a simulated PC of two cameras.
import_check='import optiqon; print(optiqon.__file__); print(optiqon.cameras())'
expect_import() {
  local what=$1 expected=$2 status=0
  shift 2
  env "$@" PYTHONPATH="$root/$site" PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 -c "$import_check" \
    >"$scratch/output" 2>&1 || status=$?
  if [ "$status" -eq 0 ] &&
    [ "$(cat "$scratch/output")" = "$root/$site/optiqon/__init__.py"$'\n'"$expected" ]; then
    pass "import optiqon from the unpacked package, $what: print(optiqon.cameras()) gives $expected"
  else
    fail "import optiqon from the unpacked package, $what: exit code $status: $(cat "$scratch/output")"
  fi
}
expect_import "on the unpacked libOptiqonCameras.so.1" "[]" -u OPTIQON_LIBRARY \
  LD_LIBRARY_PATH="$root/$lib"
cmake --preset sim >/dev/null
cmake --build --preset sim --target OptiqonCameras_sim >/dev/null
cat >"$scratch/two.scenario" <<EOF
clock = virtual
serial = K3M51-P001
[camera]
serial = K3M51-P002
EOF
port='PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB'
expect_import "on the simulated camera API" \
  "[CameraInfo(serial='K3M51-P001', location='${port}(1)', video_side=True, hid_side=True), CameraInfo(serial='K3M51-P002', location='${port}(2)', video_side=True, hid_side=True)]" \
  OPTIQON_LIBRARY="$PWD/build/sim/libOptiqonCameras_sim.so.1" \
  OPTIQON_SIM_CAMERA="$scratch/two.scenario"

echo "check-linux-packages: $passes passed, $failures failed"
[ "$failures" -eq 0 ]

#!/usr/bin/env bash
# package_test.sh BUILD_DIR SOURCE_DIR: builds kdr-server and kdr-desktop with cpack from the built
# tree, unpacks both into a scratch root, checks what they hold and declare, and runs the installed
# programs: kdr-server --version, a demo server started with the installed settings file, and the
# installed desktop's demo tour against it.
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

cd "$work"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >cpack.log 2>&1 || { cat cpack.log; fail "cpack"; }
server_deb=$(ls out/kdr-server_*.deb) || fail "no kdr-server package"
desktop_deb=$(ls out/kdr-desktop_*.deb) || fail "no kdr-desktop package"

# What each package declares: its runtime libraries and its installation scripts.
depends=$(dpkg-deb -f "$server_deb" Depends)
for lib in libsqlite3 libpq5 libboost-json; do
  grep -q "$lib" <<<"$depends" || fail "kdr-server does not depend on $lib: $depends"
done
depends=$(dpkg-deb -f "$desktop_deb" Depends)
for lib in libqt6widgets6 qt6-qpa-plugins; do
  grep -q "$lib" <<<"$depends" || fail "kdr-desktop does not depend on $lib: $depends"
done
dpkg-deb -e "$server_deb" control
grep -qx /etc/kdr/kdr-server.conf control/conffiles || fail "the settings file is not a conffile"
grep -q "install -d -o kdr -g kdr" control/postinst || fail "postinst does not make the data folder"

root=$work/root
dpkg-deb -x "$server_deb" "$root"
dpkg-deb -x "$desktop_deb" "$root"
for f in usr/bin/kdr-server usr/lib/systemd/system/kdr-server.service etc/kdr/kdr-server.conf \
  usr/lib/sysusers.d/kdr-server.conf usr/share/doc/kdr-server/admin.md usr/lib/kdr/kdr-host \
  usr/lib/kdr/libkdr03020.so usr/lib/kdr/libkdr-qt.so usr/lib/kdr/libkdr-platform.so usr/lib/kdr/libkdr-tls.so; do
  [ -e "$root/$f" ] || fail "$f is not installed"
done
[ "$(readlink "$root/usr/bin/kdr-host")" = ../lib/kdr/kdr-host ] || fail "kdr-host is not on the PATH"
unit=$root/usr/lib/systemd/system/kdr-server.service
for line in User=kdr ExecStart=/usr/bin/kdr-server Restart=on-failure KillSignal=SIGTERM StandardError=journal \
  NoNewPrivileges=yes ProtectSystem=strict PrivateTmp=yes ProtectHome=yes StateDirectory=kdr; do
  grep -qx "$line" "$unit" || fail "the unit lacks $line"
done
grep -qx "db = sqlite:/var/lib/kdr/kdr.db" "$root/etc/kdr/kdr-server.conf" || fail "default database"

# The installed programs, with nothing of the build tree on their way.
version=$("$root/usr/bin/kdr-server" --version)
[[ $version == "kdr-server "[0-9]* ]] || fail "kdr-server --version: $version"
[ "$("$root/usr/bin/kdr-host" --version)" = "kdr-host ${version#kdr-server }" ] || fail "kdr-host --version"
ldd "$root/usr/lib/kdr/kdr-host" | grep -q "$build" && fail "kdr-host still loads from the build tree"

# A demo start from the installed settings file, its database moved to the scratch folder by the
# environment (which wins over the file), then stopped as the service manager stops it.
KDR_CONFIG=$root/etc/kdr/kdr-server.conf KDR_DB=sqlite:$work/kdr.db KDR_PORT=0 \
  "$root/usr/bin/kdr-server" --seed demo >server.log 2>&1 &
server_pid=$!
port=
for _ in $(seq 100); do
  port=$(sed -n 's/^listening on 127.0.0.1:\([0-9]*\)$/\1/p' server.log)
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { cat server.log; fail "the installed server did not start"; }
KDR_CONFIG=$root/etc/kdr/kdr-server.conf KDR_DB=sqlite:$work/kdr.db "$root/usr/bin/kdr-server" status >status.txt
grep -q "clientes: " status.txt || fail "status: $(cat status.txt)"
grep -q "servidor: em serviço" status.txt || fail "status does not see the server: $(cat status.txt)"
KDR_PASSWORD=supervisor "$root/usr/bin/kdr-host" --headless --server "127.0.0.1:$port" --operator supervisor \
  --local-db "$work/local.db" --script "$source/tests/scenarios/demo.kdr" >tour.txt 2>&1 || { cat tour.txt; fail "the installed desktop's tour"; }
grep -q "Padaria Pão Quente" tour.txt || fail "the tour did not show the demo data"
kill -TERM "$server_pid"
status=0
wait "$server_pid" || status=$?
server_pid=
[ "$status" = 0 ] || { cat server.log; fail "the server ended with $status on SIGTERM"; }
echo "packages: $(basename "$server_deb") $(basename "$desktop_deb") built, unpacked and started"

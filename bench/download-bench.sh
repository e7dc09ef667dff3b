#!/usr/bin/env bash
# Download throughput: 1 GiB over loopback from nginx (sendfile on) into the page cache,
# the program's download worker (bench/DownloadDriver.cpp) against `curl -s -o` in the
# same run. Wall and CPU time from hyperfine, peak RSS from GNU time. Figures, never
# pass/fail; they go into bench/README.md.
#
#   bench/download-bench.sh            # 10 runs each (about a minute)
#   RUNS=20 bench/download-bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
runs=${RUNS:-10}

# shellcheck source=../scripts/lib/install-deps.sh
source scripts/lib/install-deps.sh
install_linux_deps
zyrel_install_packages nginx hyperfine time curl

cmake --preset default >/dev/null
cmake --build --preset default -j2 --target download_driver >/dev/null
driver=$root/build/default/bench/bin/download_driver

# Everything on tmpfs: the served file and the downloads stay in the page cache, so the
# figures are about the transfer, not about a disk.
work=$(mktemp -d /dev/shm/zyrel-download-bench.XXXXXX)
nginx_pid=""
cleanup() {
    [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/www" "$work/out"
head -c $((1024 * 1024 * 1024)) /dev/urandom >"$work/www/installer.bin"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat >"$work/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 64; }
http {
    access_log off;
    sendfile on;
    tcp_nopush on;
    client_body_temp_path $work/tmp;
    proxy_temp_path $work/tmp;
    fastcgi_temp_path $work/tmp;
    uwsgi_temp_path $work/tmp;
    scgi_temp_path $work/tmp;
    server {
        listen 127.0.0.1:$port;
        root $work/www;
    }
}
CONF
mkdir -p "$work/tmp"
nginx -c "$work/nginx.conf" -p "$work" &
nginx_pid=$!
for _ in $(seq 50); do
    curl -sf -o /dev/null "http://127.0.0.1:$port/installer.bin" -r 0-0 && break
    sleep 0.1
done
url="http://127.0.0.1:$port/installer.bin"

echo "== machine: $(nproc) CPUs, $(lscpu | sed -n 's/^Model name: *//p'), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== $(curl --version | head -n 1)"
hyperfine --warmup 2 --runs "$runs" -N --export-json "$work/hyperfine.json" \
    -n worker "$driver $url $work/out/worker.bin" \
    -n curl "curl -s -o $work/out/curl.bin $url"
cmp "$work/www/installer.bin" "$work/out/worker.bin"

python3 - "$work/hyperfine.json" <<'PY'
import json, sys
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
print("\n== means over %d runs" % len(results["worker"]["times"]))
print("%-8s %10s %10s %10s %10s" % ("", "wall s", "user s", "sys s", "cpu s"))
for name in ("worker", "curl"):
    r = results[name]
    print("%-8s %10.3f %10.3f %10.3f %10.3f" % (name, r["mean"], r["user"], r["system"], r["user"] + r["system"]))
w, c = results["worker"], results["curl"]
print("worker/curl: wall %.2fx, cpu %.2fx" % (w["mean"] / c["mean"], (w["user"] + w["system"]) / (c["user"] + c["system"])))
PY

echo
echo "== peak RSS (KiB), median of 5"
for name in worker curl; do
    for _ in 1 2 3 4 5; do
        if [ "$name" = worker ]; then
            /usr/bin/time -f %M "$driver" "$url" "$work/out/worker.bin" 2>&1 >/dev/null | tail -n 1
        else
            /usr/bin/time -f %M curl -s -o "$work/out/curl.bin" "$url" 2>&1 >/dev/null | tail -n 1
        fi
    done | sort -n | sed -n 3p | sed "s/^/$name /"
done

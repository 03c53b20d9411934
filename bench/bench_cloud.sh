#!/usr/bin/env bash
# The cloud's benchmark: yrcloud's store against nginx from the distribution, both on
# loopback, measured in one run. Prints three figures:
#   GET ratio: 200 files of 256 KiB fetched with curl --parallel --parallel-max 8, from the
#              store (with the download token the library uses) vs from nginx (goal <= 1.5x);
#   PUT ratio: the same files PUT to the store with presigned addresses vs the nginx GET time
#              (goal <= 2x);
#   memory:    the growth of yrcloud's resident memory while a 1 GiB object goes in and out
#              (goal < 64 MiB).
# Each timing is the median of five rounds, the sides alternating so that a busy moment hits
# both alike. Usage: bench/bench_cloud.sh [BUILD_DIR] (default build/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
yrcloud=$build/cloud/yrcloud
[ -x "$yrcloud" ] || { echo "bench_cloud.sh: build yrcloud first ($yrcloud)" >&2; exit 2; }
bash "$root/scripts/install-deps.sh" --bench

work=$(mktemp -d)
chmod 755 "$work"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# The files.
mkdir -p "$work/files" "$work/fetched"
for i in $(seq -w 1 200); do head -c 262144 /dev/urandom > "$work/files/f$i.bin"; done

# nginx, as an ordinary user's server on a loopback port.
nginx_port=$(free_port)
mkdir -p "$work/nginx"
cat > "$work/nginx/nginx.conf" <<CONF
worker_processes 2;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 256; }
http {
    access_log off;
    sendfile on;
    server {
        listen 127.0.0.1:$nginx_port;
        root $work/files;
    }
}
CONF
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -g 'daemon off;' &
pids+=($!)

# yrcloud, with one user whose plan folder holds the files.
user=$("$yrcloud" user add bench --data "$work/cloud" 2> /dev/null)
"$yrcloud" serve --data "$work/cloud" --listen 127.0.0.1:0 > "$work/cloud.address" 2> "$work/cloud.log" &
cloud_pid=$!
pids+=($cloud_pid)
until [ -s "$work/cloud.address" ]; do sleep 0.1; done
address=$(head -1 "$work/cloud.address")
until curl -sf "http://127.0.0.1:$nginx_port/f001.bin" -o /dev/null; do sleep 0.1; done

# The client side in Python with boto3: signing in, then either the addresses of the files
# (presigned PUTs, and GETs with the store's download token, as the library fetches) or one
# PUT and one GET of a large file.
cat > "$work/client.py" <<'PY'
import hashlib, hmac, json, sys, time, urllib.request
import boto3
from botocore.config import Config
from boto3.s3.transfer import TransferConfig

address, user, work, task = sys.argv[1], json.loads(sys.argv[2]), sys.argv[3], sys.argv[4]
request = urllib.request.Request("http://%s/api/session" % address,
                                 headers={"Authorization": "Bearer " + user["token"]})
session = json.load(urllib.request.urlopen(request))
storage = session["storage"]
s3 = boto3.client("s3", endpoint_url=storage["endpoint"], region_name=storage["region"],
                  aws_access_key_id=storage["accessKeyId"],
                  aws_secret_access_key=storage["secretAccessKey"],
                  config=Config(signature_version="s3v4", s3={"addressing_style": "path"}))
folder = "plan/%s/bench/" % session["uid"]
if task == "addresses":
    expires = int(time.time()) + 86400
    mac = hmac.new(storage["secretAccessKey"].encode(), b"YRSIGN\n\n%d" % expires,
                   hashlib.sha256)
    token = "%s.%d.%s" % (storage["accessKeyId"], expires, mac.hexdigest())
    with open(work + "/put.curl", "w") as put, open(work + "/get.curl", "w") as get:
        for i in range(1, 201):
            name = "f%03d.bin" % i
            url = s3.generate_presigned_url(
                "put_object", Params={"Bucket": "plan-files", "Key": folder + name},
                ExpiresIn=86400)
            put.write('upload-file = "%s/files/%s"\nurl = "%s"\noutput = "/dev/null"\n'
                      % (work, name, url))
            get.write('url = "%s/plan-files/%s%s?sign=%s"\noutput = "%s/fetched/%s"\n'
                      % (storage["endpoint"], folder, name, token, work, name))
else:
    # One PUT of the whole file, then one GET of it: no parts, so the server streams both ways.
    single = TransferConfig(multipart_threshold=2 << 30)
    s3.upload_file(work + "/large.bin", "plan-files", folder + "large.bin", Config=single)
    body = s3.get_object(Bucket="plan-files", Key=folder + "large.bin")["Body"]
    while body.read(1 << 20):
        pass
PY
python3 "$work/client.py" "$address" "$user" "$work" addresses
for i in $(seq -w 1 200); do
    printf 'url = "http://127.0.0.1:%s/f%s.bin"\noutput = "%s/fetched/f%s.bin"\n' \
        "$nginx_port" "$i" "$work" "$i"
done > "$work/nginx.curl"

# Seconds that one curl --parallel run of a config takes.
timed() {
    local start end
    start=$(date +%s.%N)
    curl -sS --no-progress-meter --fail --parallel --parallel-max 8 -K "$1"
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

curl -sS --no-progress-meter --fail --parallel --parallel-max 8 -K "$work/put.curl" # a warm cache
nginx_times=() get_times=() put_times=()
for round in 1 2 3 4 5; do
    nginx_times+=("$(timed "$work/nginx.curl")")
    get_times+=("$(timed "$work/get.curl")")
    put_times+=("$(timed "$work/put.curl")")
done
cmp -s "$work/fetched/f200.bin" "$work/files/f200.bin" || { echo "a fetched file differs" >&2; exit 1; }
nginx_get=$(printf '%s\n' "${nginx_times[@]}" | median)
store_get=$(printf '%s\n' "${get_times[@]}" | median)
store_put=$(printf '%s\n' "${put_times[@]}" | median)

# Memory while 1 GiB goes in and out.
rss_kib() { awk "/^$2:/ { print \$2 }" "/proc/$1/status"; }
head -c 1073741824 /dev/zero > "$work/large.bin"
# The peak is counted from here (writing 5 to clear_refs resets it).
echo 5 > "/proc/$cloud_pid/clear_refs"
before=$(rss_kib "$cloud_pid" VmRSS)
python3 "$work/client.py" "$address" "$user" "$work" large
peak=$(rss_kib "$cloud_pid" VmHWM)

echo "GET 200 x 256 KiB, 8 at a time: store $(printf %.3f "$store_get") s, nginx $(printf %.3f "$nginx_get") s:" \
     "ratio $(ratio "$store_get" "$nginx_get") (goal <= 1.5)"
echo "PUT 200 x 256 KiB, 8 at a time: store $(printf %.3f "$store_put") s:" \
     "ratio to the nginx GET $(ratio "$store_put" "$nginx_get") (goal <= 2)"
echo "memory while 1 GiB went in and out: $(( (peak - before) / 1024 )) MiB growth" \
     "($(( before / 1024 )) MiB before, $(( peak / 1024 )) MiB at the peak; goal < 64)"

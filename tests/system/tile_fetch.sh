#!/bin/bash
# quorel-tiles fetch against real servers on loopback: nginx serving a tile tree with
# ETag, Last-Modified and Expires, and a tile server of our own that misbehaves. The
# servers count the requests. Usage: tile_fetch.sh QUOREL_TILES [rate]
set -u
tool=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d "${TEST_TMPDIR:-/tmp}/tile_fetch.XXXXXX")
failures=0
pids=""
cleanup() {
  for p in $pids; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
  [ -n "${KEEP:-}" ] || rm -rf "$scratch"
}
trap cleanup EXIT
command -v nginx >/dev/null || { echo "nginx is not installed: skipped"; exit 77; }

check() {  # check WHAT CONDITION...
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}

# nginx NAME TREE EXPIRES: serves TREE on a free loopback port from a prefix of its own,
# logging "msec connections_active status validator uri user_agent"; sets port and log.
nginx_up() {
  local name=$1 tree=$2 expires=$3 prefix=$scratch/nginx-$1
  mkdir -p "$prefix/logs" "$prefix/tmp"
  for try in 1 2 3 4 5 6 7 8 9 10; do
    port=$((20000 + RANDOM % 20000))
    log=$prefix/logs/access.log
    cat > "$prefix/nginx.conf" <<CONF
daemon off;
$([ "$(id -u)" = 0 ] && echo "user root;")
worker_processes 1;
pid $prefix/nginx.pid;
error_log $prefix/logs/error.log;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $prefix/tmp; proxy_temp_path $prefix/tmp; fastcgi_temp_path $prefix/tmp;
  uwsgi_temp_path $prefix/tmp; scgi_temp_path $prefix/tmp;
  log_format counted '\$msec \$connections_active \$status "\$http_if_none_match" \$uri "\$http_user_agent"';
  types { image/png png; }
  server {
    listen 127.0.0.1:$port;
    access_log $log counted;
    root $tree;
    etag on;
    expires $expires;
  }
}
CONF
    nginx -c "$prefix/nginx.conf" -p "$prefix" & local pid=$!
    for _ in $(seq 50); do
      [ -s "$prefix/nginx.pid" ] && break
      kill -0 $pid 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 $pid 2>/dev/null && [ -s "$prefix/nginx.pid" ]; then pids="$pids $pid"; return 0; fi
    wait $pid 2>/dev/null
  done
  echo "nginx does not start"; cat "$prefix/logs/error.log"; exit 1
}

requests() { [ -f "$1" ] && wc -l < "$1" || echo 0; }

cd "$scratch" || exit 1

# A route across tile edges at zooms 12-16 with a margin of one tile, from nginx.
cat > route.gpx <<'GPX'
<?xml version="1.0"?>
<gpx version="1.1" creator="test"><rte><rtept lat="35.6812" lon="139.7671"/><rtept lat="35.6950" lon="139.7880"/></rte></gpx>
GPX
mkdir empty
"$tool" coverage --zooms 12-16 --margin 1 empty route.gpx > wanted.txt 2>/dev/null
python3 "$here/tile_server.py" tiles served < wanted.txt
nginx_up route "$scratch/served" 8s
url="http://127.0.0.1:$port/{z}/{x}/{y}.png"
wanted=$(wc -l < wanted.txt)
fetch() { "$tool" fetch --url "$url" --rate 0 --yes "$@"; }

fetch --zooms 12-16 --margin 1 route.gpx trip.mbtiles 2> run1.txt; status=$?
first=$(requests "$log")
check "the first run exits 0 ($status)" [ "$status" = 0 ]
check "the first run asks for each of the $wanted tiles once ($first requests)" \
  [ "$first" = "$wanted" -a "$(awk '{print $5}' "$log" | sort -u | wc -l)" = "$wanted" ]
check "at most 2 connections at once" [ "$(awk '{print $2}' "$log" | sort -n | tail -1)" -le 2 ]
check "a User-Agent of its own" [ "$(grep -c '"Quorel/[0-9.]*"$' "$log")" = "$wanted" ]
"$tool" unpack trip.mbtiles unpacked 2>/dev/null
check "exactly the tiles coverage lists, byte for byte" diff -r served unpacked
check "check passes" "$tool" check trip.mbtiles
check "the metadata names the zooms and the format" \
  [ "$(sqlite3 trip.mbtiles "SELECT group_concat(name || '=' || value, ' ') FROM (SELECT * FROM metadata ORDER BY name)")" \
    = "format=png maxzoom=16 minzoom=12 name=trip type=baselayer version=1" ]

fetch --zooms 12-16 --margin 1 route.gpx trip.mbtiles 2> run2.txt; status=$?
check "a second run while fresh exits 0 and asks for nothing" [ "$status" = 0 -a "$(requests "$log")" = "$first" ]

fetch --zooms 12-16 --margin 1 route.gpx tree 2> /dev/null
check "into a tree: the same tiles, byte for byte" diff -r served tree
check "the tree's freshness is kept beside it" [ -s tree.fetch-state ]
before=$(requests "$log")

sleep 9  # past the 8 s nginx gives
fetch --zooms 12-16 --margin 1 route.gpx trip.mbtiles 2> run3.txt; status=$?
tail -n +$((before + 1)) "$log" > conditional.log
check "after expiry every tile is asked for again, conditionally, and is unchanged ($status)" \
  [ "$status" = 0 -a "$(wc -l < conditional.log)" = "$wanted" -a "$(grep -c ' 304 "\\x22[0-9a-f]*-[0-9a-f]*\\x22" ' conditional.log)" = "$wanted" ]
rm -rf unpacked && "$tool" unpack trip.mbtiles unpacked 2>/dev/null
check "304s keep the stored bytes" diff -r served unpacked

# A server that misbehaves by column: ten tiles of zoom 10 in a row, columns 500-509.
python3 "$here/tile_server.py" serve bad.port bad.log & pids="$pids $!"
for _ in $(seq 100); do [ -s bad.port ] && break; sleep 0.1; done
bad="http://127.0.0.1:$(cat bad.port)/{z}/{x}/{y}.png"
box() { "$tool" fetch --url "$bad" --rate 0 --timeout 2 --yes --zooms 10 --box 0.1,-4.2,0.05,-0.8 "$@"; }
asked() { grep -c " /10/$1/511.png " bad.log; }
box bad.mbtiles 2> bad1.txt; status=$?
check "some tiles failed: exit 1 ($status)" [ "$status" = 1 ]
check "the failed ones are named" [ "$(grep -o '^failed 10/50[0-9]/511' bad1.txt | sort | tr '\n' ' ')" = \
  "failed 10/503/511 failed 10/504/511 failed 10/505/511 failed 10/506/511 failed 10/507/511 " ]
check "404 and 204 count as absent" grep -q ' 2 absent on the server, 5 failed' bad1.txt
"$tool" unpack bad.mbtiles bad 2>/dev/null
python3 "$here/tile_server.py" tiles expected <<LIST
10/500/511
10/501/511
10/502/511
LIST
check "only the good tiles are stored, after 429 and 503 were retried" diff -r expected bad
check "check passes" "$tool" check bad.mbtiles
waited() { awk -v p="/10/$1/511.png" '$2 == p { t[n++] = $1 } END { printf "%.2f", n == 2 ? t[1] - t[0] : -1 }' bad.log; }
check "Retry-After: 2 is waited for, not the 1 s of back-off ($(waited 501) s)" awk "BEGIN { exit !($(waited 501) >= 1.95) }"
check "a 503 without Retry-After backs off 1 s ($(waited 502) s)" awk "BEGIN { exit !($(waited 502) >= 0.95) }"
box bad.mbtiles 2> bad2.txt; status=$?
check "a second run asks only for the failed tiles ($status)" \
  [ "$status" = 1 -a "$(asked 500)$(asked 501)$(asked 502)$(asked 503)$(asked 507)$(asked 508)$(asked 509)" = 1222211 ]
"$tool" coverage --zooms 10 --box 0.1,-4.2,0.05,-0.8 --png bad.png bad.mbtiles >/dev/null 2>&1
check "coverage --png draws held, failed and absent" python3 "$here/tile_server.py" pixels bad.png \
  "16,8:40,170,60 56,8:220,30,30 136,8:128,128,128"

# A good citizen: public servers whose policy forbids bulk downloads are refused before
# any request, and only a server on this machine may be asked without a rate limit.
for host in tile.openstreetmap.org b.tile.openstreetmap.org TILE.OpenStreetMap.org.; do
  "$tool" fetch --url "https://$host/{z}/{x}/{y}.png" --zooms 1 --box 1,1,2,2 --yes osm.mbtiles 2> osm.txt
  check "$host is refused with the reason" [ $? = 2 -a ! -e osm.mbtiles ] && grep -q "usage policy forbids bulk" osm.txt
done
"$tool" fetch --url "https://tiles.example.org/{z}/{x}/{y}.png" --rate 0 --zooms 1 --box 1,1,2,2 --yes x.mbtiles 2>/dev/null
check "--rate 0 is refused for a remote host" [ $? = 2 -a ! -e x.mbtiles ]
"$tool" fetch --url "https://{s}.tiles.example.org/{z}/{x}/{-y}.png" --subdomains abc --zooms 1-3 --box 1,1,2,2 --dry-run y.mbtiles 2>dry.txt
check "--dry-run says and makes nothing" [ $? = 0 -a ! -e y.mbtiles ] && grep -q "3 tiles wanted" dry.txt

# 20 SIGKILLs at random moments of a 2,116-tile fetch: the store passes check after each,
# and the run after the last ends with every tile, none asked for more than twice.
"$tool" coverage --zooms 15 --box 35.42,138.61,35.02,139.10 empty > many.txt 2>/dev/null
python3 "$here/tile_server.py" tiles many < many.txt
nginx_up kill "$scratch/many" 1d
url="http://127.0.0.1:$port/{z}/{x}/{y}.png"
checked=0 alive=0
for kill in $(seq 20); do
  start=$(requests "$log")
  # Past two batches of 25 (and 3 tiles of a first run's sample) and the 2 transfers under
  # way: what the run before lost is kept again, so no tile is asked for a third time.
  until=$((start + 55 + RANDOM % 30))
  "$tool" fetch --url "$url" --rate 200 --yes --zooms 15 --box 35.42,138.61,35.02,139.10 killed.mbtiles 2> "kill$kill.txt" & victim=$!
  for _ in $(seq 1000); do
    [ "$(requests "$log")" -ge "$until" ] && break
    kill -0 $victim 2>/dev/null || break
    sleep 0.01
  done
  sleep "0.00$((RANDOM % 10))"
  kill -KILL $victim 2>/dev/null && alive=$((alive + 1))
  wait $victim 2>/dev/null
  "$tool" check killed.mbtiles >/dev/null 2>&1 && checked=$((checked + 1))
done
check "check passes after each of 20 kills ($checked)" [ "$checked" = 20 ]
check "each kill came while the fetch was running ($alive)" [ "$alive" = 20 ]
fetch --zooms 15 --box 35.42,138.61,35.02,139.10 killed.mbtiles 2>/dev/null
check "the run after the kills holds every tile" [ $? = 0 ]
rm -rf unpacked && "$tool" unpack killed.mbtiles unpacked 2>/dev/null
check "byte for byte" diff -r many unpacked
check "no tile asked for more than twice in all" [ "$(awk '{print $5}' "$log" | sort | uniq -c | sort -n | tail -1 | awk '{print $1}')" -le 2 ]
check "the file is an ordinary SQLite file again" [ ! -e killed.mbtiles-wal ]

# The default rate, 2 tiles a second, held over 20 s as the server sees it (41 tiles,
# the first 3 a sample for the size).
before=$(requests "$log")
"$tool" fetch --url "$url" --yes --zooms 15 --box 35.2,138.62,35.2,139.06 paced.mbtiles 2>/dev/null
tail -n +$((before + 1)) "$log" > paced.log
rate=$(awk 'NR == 1 { first = $1 } { last = $1 } END { printf "%.3f", (NR - 1) / (last - first) }' paced.log)
check "41 tiles at $rate tiles a second" \
  [ "$(wc -l < paced.log)" = 41 -a "$(awk -v r="$rate" 'BEGIN { print (r >= 1.8 && r <= 2.2) }')" = 1 ]

# SIGINT and SIGTERM end a run at the next tile: the batch committed, the file ordinary.
for signal in INT TERM; do
  "$tool" fetch --url "$url" --rate 20 --yes --zooms 15 --box 35.3,138.62,35.3,139.06 "stopped$signal.mbtiles" \
    2> "stopped$signal.txt" & victim=$!
  sleep 1
  kill -$signal $victim
  wait $victim; status=$?
  check "SIG$signal: exit 1, a store check passes, no log beside it ($status)" \
    [ "$status" = 1 -a ! -e "stopped$signal.mbtiles-wal" ] && "$tool" check "stopped$signal.mbtiles" >/dev/null 2>&1 &&
    grep -q "goes on where this one stopped" "stopped$signal.txt"
done

[ "$failures" = 0 ] || { echo "$failures checks failed"; exit 1; }

#!/usr/bin/env bash
# Runs the HTTP library's script cases (cases/) through tessel with two servers on
# loopback: nginx serving www/ (static files, a redirect, HEAD, 404) and a scripted
# server answering with exact bytes (scripted_server.py). Scripts find them in the
# environment variables HTTP_NGINX and HTTP_SCRIPTED ("127.0.0.1:port").
#
#   run_http_cases.sh TESSEL
set -u
here=$(cd "$(dirname "$0")" && pwd)
tessel=$1
state=$(mktemp -d)
nginx_pid=
scripted_pid=
cleanup() {
  [[ -n $nginx_pid ]] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
  [[ -n $scripted_pid ]] && kill "$scripted_pid" 2>/dev/null && wait "$scripted_pid" 2>/dev/null
  rm -rf "$state"
}
trap cleanup EXIT

free_port() {
  /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}
accepts() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

mkdir -p "$state/nginx"
for attempt in 1 2 3 4 5; do
  port=$(free_port)
  sed -e "s|@STATE@|$state/nginx|g" -e "s|@ROOT@|$here/www|g" -e "s|@PORT@|$port|g" \
    "$here/nginx.conf.in" >"$state/nginx/nginx.conf"
  nginx -p "$state/nginx" -c "$state/nginx/nginx.conf" -e "$state/nginx/error.log" \
    >/dev/null 2>&1 &
  nginx_pid=$!
  for _ in $(seq 50); do
    accepts "$port" && break
    kill -0 "$nginx_pid" 2>/dev/null || break
    sleep 0.1
  done
  accepts "$port" && break
  kill "$nginx_pid" 2>/dev/null
  wait "$nginx_pid" 2>/dev/null
  nginx_pid=
done
if [[ -z $nginx_pid ]]; then
  echo "nginx did not start" >&2
  cat "$state/nginx/error.log" >&2
  exit 1
fi

/usr/bin/python3 "$here/scripted_server.py" "$state/scripted.port" &
scripted_pid=$!
for _ in $(seq 50); do
  [[ -f $state/scripted.port ]] && break
  sleep 0.1
done
[[ -f $state/scripted.port ]] || { echo "the scripted server did not start" >&2; exit 1; }

export HTTP_NGINX=127.0.0.1:$port
export HTTP_SCRIPTED=127.0.0.1:$(<"$state/scripted.port")
bash "$here/../script/run_cases.sh" "$tessel" "$here/cases"

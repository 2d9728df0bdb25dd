# Sourced by the scripts that need a web server: starts nginx in the foreground
# of a background job, on a free loopback port, with its configuration, logs and
# temporary folders in a folder of the caller's, and stops it again. Puts the
# sbin folders on PATH: nginx lives in /usr/sbin, which a non-login root shell
# may not have on its PATH.
#
#   start_nginx DIR ROOT HTTP_LINES SERVER_LINES [PROBE_PATH] [LISTEN]
#   stop_nginx
#
# DIR holds the configuration and logs/, ROOT is the served folder, HTTP_LINES
# and SERVER_LINES are put into the http and server blocks (logging, types,
# locations). Tries five random ports in 20000..39999 and waits until PROBE_PATH
# (default /) answers; LISTEN "ssl" makes it a TLS server (SERVER_LINES then
# name its certificate), probed without verification. Sets `port` and
# `nginx_pid`; returns 1 when nginx did not
# start (its messages are in DIR/logs/). stop_nginx ends the nginx that
# start_nginx started, if any, and waits for it.

export PATH="$PATH:/usr/local/sbin:/usr/sbin:/sbin"

start_nginx() {
    local dir=$1 root=$2 http_lines=$3 server_lines=$4 probe=${5:-/} listen=${6:-}
    local scheme=http
    [ "$listen" = ssl ] && scheme=https
    local user_line= attempt
    [ "$(id -u)" = 0 ] && user_line="user root;"
    mkdir -p "$dir/logs"
    nginx_pid= port=
    for attempt in 1 2 3 4 5; do
        port=$(( (RANDOM % 20000) + 20000 ))
        cat >"$dir/nginx.conf" <<CONF
daemon off; master_process off; worker_processes 1; $user_line
error_log $dir/logs/error.log warn; pid $dir/nginx.pid;
events { worker_connections 64; }
http {
  $http_lines
  client_body_temp_path $dir/cb; proxy_temp_path $dir/px; fastcgi_temp_path $dir/fc;
  uwsgi_temp_path $dir/uw; scgi_temp_path $dir/sc;
  server {
    listen 127.0.0.1:$port $listen; root $root;
    $server_lines
  }
}
CONF
        nginx -p "$dir" -c "$dir/nginx.conf" 2>>"$dir/logs/stderr.log" &
        nginx_pid=$!
        for _ in $(seq 50); do
            curl -sk -o /dev/null "$scheme://127.0.0.1:$port$probe" && break
            kill -0 "$nginx_pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -0 "$nginx_pid" 2>/dev/null && return 0
        wait "$nginx_pid" 2>/dev/null || true
        nginx_pid=
    done
    return 1
}

stop_nginx() {
    [ -n "${nginx_pid:-}" ] || return 0
    kill "$nginx_pid" 2>/dev/null || true
    wait "$nginx_pid" 2>/dev/null || true
    nginx_pid=
}

#!/usr/bin/env bash
# Writes DIR/nginx.conf: the leaderboard's shipped nginx site (packaging/nginx/zellworth-board, or
# the installed copy given as SITE_FILE) run by the user who starts it, every file of nginx's own
# under DIR. Only the site's addresses, certificate, root and board are replaced, so that what
# runs here is what operators deploy.
#   scripts/front_config.sh DIR HTTPS_PORT HTTP_PORT BOARD_PORT[,BOARD_PORT...] SITE_DIR CERT KEY [SITE_FILE]
# Several board ports put every one of those boards behind the front.
# Then: nginx -c DIR/nginx.conf -p DIR -e DIR/error.log (it stays in the foreground).
set -euo pipefail
[ $# -ge 7 ] || { echo "usage: $0 DIR HTTPS_PORT HTTP_PORT BOARD_PORT SITE_DIR CERT KEY [SITE_FILE]" >&2; exit 2; }
dir=$(realpath "$1")
https_port=$2
http_port=$3
board_ports=${4//,/ }
servers=
for board_port in $board_ports; do servers+="    server 127.0.0.1:$board_port\\1;\n"; done
site_dir=$(realpath -m "$5")
cert=$(realpath "$6")
key=$(realpath "$7")
site_file=${8:-$(dirname "$0")/../packaging/nginx/zellworth-board}
mkdir -p "$dir/temp"

# Only the loopback: 127.0.0.1, and ::1 where the machine has it (for clients from IPv6
# addresses added to it); the listeners take the given ports; the lists' cache is kept under DIR.
ipv6_https="s|^(\s*listen\s+)\[::\]:443 |\1[::1]:$https_port |"
grep -q '^0\{31\}1 ' /proc/net/if_inet6 2>/dev/null || ipv6_https='/^\s*listen\s+\[::\]:443 /d'
sed -E \
  -e "$ipv6_https" \
  -e '/^\s*listen\s+\[::\]:80;/d' \
  -e "s|^(\s*listen\s+)80;|\1127.0.0.1:$http_port;|" \
  -e "s|^(\s*listen\s+)443 |\1127.0.0.1:$https_port |" \
  -e "s|^(\s*ssl_certificate\s+).*;|\1$cert;|" \
  -e "s|^(\s*ssl_certificate_key\s+).*;|\1$key;|" \
  -e "s|^(\s*root\s+)/var/www/zellworth;|\1$site_dir;|" \
  -e "s|^(\s*proxy_cache_path\s+)\S+|\1$dir/cache|" \
  -e "s|^\s*server\s+127\.0\.0\.1:[0-9]+([^;]*);|${servers%\\n}|" \
  "$site_file" >"$dir/site.conf"
for replaced in "127.0.0.1:$http_port;" "127.0.0.1:$https_port ssl" "$cert;" "$key;" "$site_dir;" "$dir/cache " $(printf '127.0.0.1:%s ' $board_ports); do
  grep -qF -- "$replaced" "$dir/site.conf" || { echo "$0: $site_file has changed: no place for $replaced" >&2; exit 1; }
done

# The http block as Debian's nginx.conf has it (the site must stand beside its gzip and ssl
# lines), with room for a thousand slow clients.
user=
[ "$(id -u)" -ne 0 ] || user="user $(id -un) $(id -gn);"
cat >"$dir/nginx.conf" <<EOF
$user
daemon off;
worker_processes 2;
worker_rlimit_nofile 8192;
pid $dir/nginx.pid;
error_log $dir/error.log;
events {
    worker_connections 4096;
}
http {
    sendfile on;
    tcp_nopush on;
    types_hash_max_size 2048;
    include /etc/nginx/mime.types;
    default_type application/octet-stream;
    ssl_protocols TLSv1 TLSv1.1 TLSv1.2 TLSv1.3;
    ssl_prefer_server_ciphers on;
    access_log $dir/access.log;
    gzip on;
    client_body_temp_path $dir/temp/body;
    proxy_temp_path $dir/temp/proxy;
    fastcgi_temp_path $dir/temp/fastcgi;
    uwsgi_temp_path $dir/temp/uwsgi;
    scgi_temp_path $dir/temp/scgi;
    include $dir/site.conf;
}
EOF

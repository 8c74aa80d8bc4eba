#!/usr/bin/env bash
# e2e.sh BIN CASE [tls]: runs the page tests/e2e/pages/CASE.js with the host against
# a fresh tessarix-cms, then checks what the server stored (files, SQLite rows) and
# what its pages return over HTTP. With "tls" everything goes over HTTPS, trusted
# through a CA made here. Prints "1 passed, 0 failed" or the reason.
set -uo pipefail
bin="$1"; case="$2"; tls="${3:-}"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d /tmp/tessarix-e2e.XXXXXX)"
export TEMP="$work/temp"
mkdir -p "$TEMP"
cms_pid=""
finish() {
  [ -n "$cms_pid" ] && kill "$cms_pid" 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT
fail() { echo "FAIL ($case): $*" >&2; echo "0 passed, 1 failed"; exit 1; }

tls_args=()
curl_args=()
if [ "$tls" = tls ]; then
  pki="$work/pki"; mkdir -p "$pki"
  key=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
  openssl req -x509 "${key[@]}" -keyout "$pki/ca.key" -out "$pki/ca.pem" -days 2 -subj "/CN=e2e CA" 2>/dev/null &&
  openssl req "${key[@]}" -keyout "$pki/server.key" -out "$pki/server.csr" -subj "/CN=127.0.0.1" 2>/dev/null &&
  printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\n' > "$pki/ext" &&
  openssl x509 -req -in "$pki/server.csr" -CA "$pki/ca.pem" -CAkey "$pki/ca.key" -CAcreateserial \
    -out "$pki/server.pem" -days 2 -extfile "$pki/ext" 2>/dev/null || fail "openssl could not make the certificates"
  tls_args=(--tls "$pki/server.pem" "$pki/server.key")
  curl_args=(--cacert "$pki/ca.pem")
  export SSL_CERT_FILE="$pki/ca.pem"
  unset SSL_CERT_DIR
fi
coproc CMS { exec "$bin/tessarix-cms" --port 0 --root "$work/site" "${tls_args[@]}"; }
cms_pid=$CMS_PID
read -r line <&"${CMS[0]}" || fail "the server did not start"
if [ "$tls" = tls ]; then
  read -r line <&"${CMS[0]}" || fail "the server did not say its https address"
  base="$(printf '%s\n' "$line" | grep -o 'https://[0-9.:]*' | head -n1)"
else
  base="$(printf '%s\n' "$line" | grep -o 'http://[0-9.:]*' | head -n1)"
fi
[ -n "$base" ] || fail "no address in: $line"

kind=""; [ "$case" = office ] && kind=office
bash "$here/make_samples.sh" "$bin" "$work/samples" $kind || fail "samples"
printf 'var CMS = "%s";\nvar SAMPLES = "%s";\n' "$base" "$work/samples" > "$work/page.js"
cat "$here/pages/$case.js" >> "$work/page.js"
out="$("$bin/tessarix" run "$work/page.js" 2>"$work/stderr")" || { cat "$work/stderr" >&2; fail "the page failed"; }
printf '%s\n' "$out"

db="$work/site/cms.sqlite"
sql() { sqlite3 -batch -noheader "$db" "$1"; }
get() { curl -fsS "${curl_args[@]}" "$base$1"; }
# The page prints "expect: <kind> <arguments>" lines; each is checked here.
while read -r kind a b; do
  case "$kind" in
    file) # file <stored address> <local sample path>: the bytes arrived unchanged
      cmp -s "$work/site$a" "$work/samples/$b" || fail "stored $a differs from $b" ;;
    served) # served <address>: the server serves it
      get "$a" >/dev/null || fail "$a is not served" ;;
    article) # article <title> <pages>: a row, listed on /, its pages on /article/<id>
      id="$(sql "select id from articles where title = '$a' order by id desc limit 1;")"
      [ -n "$id" ] || fail "no article titled $a"
      get / | grep -qF "$a" || fail "/ does not list $a"
      n="$(get "/article/$id" | grep -c 'class="page"')"
      [ "$n" = "$b" ] || fail "article $a has $n pages, expected $b" ;;
    tree) # tree <folder>: the sample tree was rebuilt under files/<folder>
      for f in a.txt b.txt s/c.txt s/t/d.bin; do
        cmp -s "$work/site/files$a$f" "$work/samples/tree/$f" || fail "tree file $a$f"
      done ;;
    "") ;;
    *) fail "unknown expectation $kind" ;;
  esac
done < <(printf '%s\n' "$out" | sed -n 's/^expect: //p')
echo "1 passed, 0 failed"

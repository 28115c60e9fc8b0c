# What the panel's checks under Wine share, sourced by tests/windows/panel_check.sh and
# tests/windows-sim/panel_check.sh: `optiqon panel --no-browser` started in a console of its own
# (console_ctrl_c.exe), its address read from its first line, its interface asked with curl from
# Linux (Wine's loopback is the machine's), and Ctrl-C pressed in its console, as its user stops
# it. The caller sets `wine`, `ctrl_c` (console_ctrl_c.exe) and works in its own folder.

panel_fail() {
  echo "panel-check: $*" >&2
  echo "--- the panel's standard error:" >&2
  tr -d '\r' <panel.err >&2 || true
  exit 1
}

# Starts the panel (the tool and its arguments after `panel`) and waits for its address:
# `panel` (http://127.0.0.1:PORT) and `token` are set.
start_panel() {
  local tool=$1 address
  shift
  rm -f stop.request panel.out panel.err
  "$wine" "$ctrl_c" stop.request "$tool" panel --no-browser "$@" </dev/null >panel.out \
    2>panel.err &
  panel_runner=$!
  for _ in $(seq 300); do
    [ "$(cat panel.out 2>/dev/null | wc -l)" -ge 1 ] && break
    kill -0 "$panel_runner" 2>/dev/null || panel_fail "the panel ended before it printed its address"
    sleep 0.1
  done
  address=$(head -n 1 panel.out | tr -d '\r')
  [[ $address =~ ^http://127\.0\.0\.1:([0-9]+)/#token=([0-9a-f]{64})$ ]] ||
    panel_fail "the panel's first line is not its address: [$address]"
  panel=http://127.0.0.1:${BASH_REMATCH[1]}
  token=${BASH_REMATCH[2]}
}

# For the caller's trap on EXIT: a check that fails leaves no panel running in the prefix
# (Ctrl-C, which the helper follows with the end of the process when it does not stop).
stop_panel_left_running() {
  if [ -n "${panel_runner:-}" ]; then
    touch stop.request
    wait "$panel_runner" 2>/dev/null || true
  fi
}

# Asks the panel: METHOD PATH [curl options]; the answer's status in `status`, its body in `body`.
ask() {
  local method=$1 path=$2
  shift 2
  status=$(curl -s -o answer.json -w '%{http_code}' --max-time 20 -X "$method" "$@" \
    "$panel$path") || panel_fail "curl could not ask $method $path (exit $?)"
  body=$(cat answer.json)
}
ask_with_token() {
  local method=$1 path=$2
  shift 2
  ask "$method" "$path" -H "Authorization: Bearer $token" "$@"
}

# The status and the body, byte for byte.
expect_answer() {
  local what=$1 expected_status=$2 expected_body=$3
  [ "$status" = "$expected_status" ] && [ "$body" = "$expected_body" ] ||
    panel_fail "$what: $status [$body], expected $expected_status [$expected_body]"
}

# Ctrl-C in the panel's console: it ends with exit code 0 within 2 s.
stop_panel_with_ctrl_c() {
  local code=0 said
  touch stop.request
  wait "$panel_runner" || code=$?
  panel_runner=
  said=$(tr -d '\r' <panel.err | grep '^console_ctrl_c: ' || true)
  [[ $said =~ ^console_ctrl_c:\ the\ program\ ended\ ([0-9]+)\ ms\ after\ Ctrl-C,\ with\ exit\ code\ 0$ ]] &&
    [ "$code" -eq 0 ] || panel_fail "Ctrl-C: exit $code, [$said]; expected an end with exit code 0"
  [ "${BASH_REMATCH[1]}" -le 2000 ] ||
    panel_fail "the panel took ${BASH_REMATCH[1]} ms to end after Ctrl-C, more than 2000"
  stop_time_ms=${BASH_REMATCH[1]}
}

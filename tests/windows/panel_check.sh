#!/usr/bin/env bash
# `optiqon panel` of the Windows package under Wine, on Windows' own services, where no camera is
# plugged in: it prints its address with a token, answers its interface with no camera, and ends
# with exit code 0 within 2 s of Ctrl-C in its console.
#   tests/windows/panel_check.sh <wine64> <console_ctrl_c.exe> <optiqon.exe> <work folder>
set -euo pipefail
if [ $# -ne 4 ]; then
  echo "usage: $0 <wine64> <console_ctrl_c.exe> <optiqon.exe> <work folder>" >&2
  exit 2
fi
wine=$1
ctrl_c=$2
tool=$3
work=$4
. "$(dirname "${BASH_SOURCE[0]}")/panel_console.sh"
rm -rf "$work"
mkdir -p "$work"
cd "$work"
trap stop_panel_left_running EXIT

start_panel "$tool"
ask_with_token GET /api/cameras
expect_answer "GET /api/cameras" 200 '{"cameras":[]}'
ask GET /api/cameras
expect_answer "GET /api/cameras without the token" 401 \
  '{"error":"the panel'"'"'s interface needs the token printed at its start: Authorization: Bearer TOKEN"}'
stop_panel_with_ctrl_c
echo "panel-check: the panel answered with no camera and ended ${stop_time_ms} ms after Ctrl-C"

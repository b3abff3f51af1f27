#!/usr/bin/env bash
# Part of scripts/demo.sh --xvfb: clicks through the installer's window on the current (private)
# display as a person would and saves a picture of each page and question into the given folder.
#   demo-clicks.sh DIR TRACE_LOG
# Positions are the skin's (installer/skin/InstallPackages.xml and MessageBox.xml).
set -euo pipefail
shots=$1
trace=$2
title='安装Qarnath3'

window_of() {  # the first visible window named $1, waiting for it
  for _ in $(seq 400); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.05
  done
  echo "demo: no window named $1 appeared" >&2
  return 1
}
geometry_of() {  # X Y WIDTH HEIGHT of window $1
  eval "$(xdotool getwindowgeometry --shell "$1")"
  echo "$X $Y $WIDTH $HEIGHT"
}
click() {  # window $1, point $2,$3 inside it
  read -r x y _ _ < <(geometry_of "$1")
  xdotool mousemove $((x + $2)) $((y + $3)) click 1
  sleep 0.3
}
shot() {  # the main window (and any box over it) into $1.png
  read -r x y w h < <(geometry_of "$main")
  xdotool mousemove 0 0
  sleep 0.4
  import -window root -crop "${w}x${h}+${x}+${y}" +repage "$shots/$1.png"
  echo "demo: screenshot $shots/$1.png"
}
wait_trace() {  # until the trace holds $1 (at least $2 times)
  for _ in $(seq 1200); do [ "$(grep -c -- "$1" "$trace" 2>/dev/null || true)" -ge "${2:-1}" ] && return 0; sleep 0.05; done
  echo "demo: the installer never logged: $1" >&2
  return 1
}

main=$(window_of "$title")
shot 1-welcome
click "$main" 527 11                 # the close button: the exit question
box=$(window_of '退出安装')
shot 2-exit-question
click "$box" 240 93                  # "取消": the window stays
click "$main" 486 335                # "自定义安装": the directory page
shot 3-directory
click "$main" 457 332                # "安装"
wait_trace 'CMainDlg::OnProgress()' 4
shot 4-downloading
wait_trace '运行安装包'
shot 5-installing

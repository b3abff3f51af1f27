#!/usr/bin/env bash
# Renders every PNG of the skin (installer/skin/) and the program icon from the SVG sources in
# installer/skin_src/. Each image is written at its own size and as name@2x.png at double size.
# Button states share one source: a state is a small stylesheet laid over it. Deterministic: the
# same sources, rsvg-convert and fonts (fonts-noto-cjk) give the same bytes.
#   scripts/render-skin.sh           render everything
#   scripts/render-skin.sh --check   render into a temporary folder and fail if a file differs
set -euo pipefail
cd "$(dirname "$0")/.."

src=installer/skin_src
out=installer/skin
icon_out=installer/resources
if [ "${1:-}" = --check ]; then
  tmp=$(mktemp -d)
  out=$tmp/skin
  icon_out=$tmp/resources
  mkdir -p "$out" "$icon_out"
fi
command -v rsvg-convert >/dev/null || { echo "render-skin: rsvg-convert missing (librsvg2-bin)" >&2; exit 1; }

css=$(mktemp)
trap 'rm -f "$css"; [ -n "${tmp:-}" ] && rm -rf "$tmp"' EXIT

# render NAME SOURCE_SVG [CSS]: NAME.png at the source's size and NAME@2x.png at double size.
render() {
  local name=$1 svg=$src/$2 style=${3:-}
  local args=()
  if [ -n "$style" ]; then
    printf '%s\n' "$style" >"$css"
    args=(--stylesheet "$css")
  fi
  rsvg-convert "${args[@]}" --zoom 1 -o "$out/$name.png" "$svg"
  rsvg-convert "${args[@]}" --zoom 2 -o "$out/$name@2x.png" "$svg"
}

# Palette (docs/DESIGN.md, "Skin artwork"): accent #1E78D8, hot #3A8FE6, pushed #155FB0.
hot_face='.top{stop-color:#4AA3F5}.bottom{stop-color:#2279D6}.rim{stop-opacity:0.5}'
pushed_face='.top{stop-color:#1560B4}.bottom{stop-color:#12569F}.rim{stop-opacity:0.08}'
disabled_face='.top{stop-color:#C9D1DB}.bottom{stop-color:#BAC3CF}.rim{stop-opacity:0.3}'

render bg_progress bg_progress.svg
render shadow shadow.svg
render common_tip_icon common_tip_icon.svg

render install_0 install.svg
render install_1 install.svg "$hot_face"
render install_2 install.svg "$pushed_face"

render btn_public_0 btn_public.svg
render btn_public_1 btn_public.svg "$hot_face"
render btn_public_2 btn_public.svg "$pushed_face"
render btn_public_3 btn_public.svg "$disabled_face"

render btn_select_0 btn_select.svg
render btn_select_1 btn_select.svg '.face{fill:#E7EFF9}.border{stroke:#7FAEE3}'
render btn_select_2 btn_select.svg '.face{fill:#D5E3F4}.border{stroke:#5E97D8}'

render input input.svg

render opt_000 opt.svg
render opt_010 opt.svg '.box{stroke:#1E78D8}'
render opt_001 opt.svg '.box{fill:#1E78D8;stroke:#1E78D8}.tick{display:inline}'
render opt_011 opt.svg '.box{fill:#3A8FE6;stroke:#3A8FE6}.tick{display:inline}'

render btn_close000 btn_close.svg
render btn_close001 btn_close.svg '.face{fill:#E0463C;fill-opacity:1}.glyph{stroke-opacity:1}'
render btn_close002 btn_close.svg '.face{fill:#B7362E;fill-opacity:1}.glyph{stroke-opacity:0.9}'
render btn_min000 btn_min.svg
render btn_min001 btn_min.svg '.face{fill-opacity:0.16}.glyph{fill-opacity:1}'
render btn_min002 btn_min.svg '.face{fill:#000A14;fill-opacity:0.22}.glyph{fill-opacity:0.9}'

render btn_agreement_0 link_agreement.svg
render btn_agreement_1 link_agreement.svg '.label{fill:#3A8FE6}'
render btn_agreement_2 link_agreement.svg '.label{fill:#155FB0}'
render btn_free_0 link_free.svg
render btn_free_1 link_free.svg '.label{fill:#1E78D8}.chevron{stroke:#1E78D8}'
render btn_free_2 link_free.svg '.label{fill:#155FB0}.chevron{stroke:#155FB0}'

render progress_bk progress_bk.svg
render progress_fore progress_fore.svg
render pro_flash_bk pro_flash_bk.svg
render pro_flash_fore pro_flash_fore.svg

# Icon 101: one 256-pixel image; the window scales it to the icon sizes it needs.
rsvg-convert -w 256 -h 256 -o "$icon_out/app_icon.png" "$src/app_icon.svg"

if [ -n "${tmp:-}" ]; then
  diff -r "$tmp/skin" installer/skin --exclude='*.xml' >/dev/null \
    && cmp -s "$tmp/resources/app_icon.png" installer/resources/app_icon.png \
    || { echo "render-skin: the PNGs differ from their sources; run scripts/render-skin.sh" >&2; exit 1; }
  echo "render-skin: up to date"
fi

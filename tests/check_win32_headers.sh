#!/usr/bin/env bash
# Keeps Win32 out of the portable code: fails when a C/C++ file includes a Win32 header anywhere except
#   src/win/, src/cad/com/, src/ui/<module>/win*  and files named *_win*.cpp or *window*.cpp.
# Scanned: src/, tests/unit/, tests/support/, bench/, fuzz/ (tests/e2e holds the Windows-only programs that
# drive the Windows build, and is not scanned).
# Usage: tests/check_win32_headers.sh [root]      check a tree (default: this checkout)
#        tests/check_win32_headers.sh --self-test  check that the check itself finds and allows what it should
set -uo pipefail

headers='windows|windowsx|winbase|windef|winuser|wingdi|winnt|winreg|winerror|winnls|winsock|winsock2|ws2tcpip'
headers+='|winhttp|wininet|wincrypt|winioctl|winver|winspool|commctrl|commdlg|shellapi|shlobj|shlwapi|shobjidl'
headers+='|objbase|objidl|ole2|oleauto|olectl|oaidl|ocidl|unknwn|comdef|comip|combaseapi|atlbase|atlcom|dwmapi'
headers+='|uxtheme|richedit|psapi|tlhelp32|dbghelp|mmsystem|tchar|strsafe|ntdef|ntstatus|propvarutil|knownfolders'
headers+='|sddl|aclapi|wincodec|gdiplus|mshtml|exdisp|urlmon|servprov|wtsapi32|userenv|intsafe'
include_re="^[[:space:]]*#[[:space:]]*include[[:space:]]*[<\"]($headers)\\.h[>\"]"

allowed() {
  local file=$1 base=${1##*/}
  case $file in src/win/* | src/cad/com/*) return 0 ;; esac
  [[ $file =~ ^src/ui/[^/]+/win ]] && return 0
  case $base in *_win*.cpp | *window*.cpp) return 0 ;; esac
  return 1
}

list_sources() {
  local dirs=(src tests/unit tests/support bench fuzz)
  if git -C "$1" rev-parse --is-inside-work-tree >/dev/null 2>&1 &&
     [ "$(git -C "$1" rev-parse --show-toplevel)" = "$(cd "$1" && pwd -P)" ]; then
    git -C "$1" ls-files --cached --others --exclude-standard -- "${dirs[@]}"
  else
    (cd "$1" && for d in "${dirs[@]}"; do [ -d "$d" ] && find "$d" -type f; done)
  fi | grep -E '\.(c|cc|cpp|cxx|h|hh|hpp|hxx|inl)$' | sort -u
}

# Prints "file:line: text" for every forbidden include; returns 1 if there was any.
check_tree() {
  local root=$1 scanned=0 bad=0 file hits
  while IFS= read -r file; do
    [ -f "$root/$file" ] || continue
    scanned=$((scanned + 1))
    allowed "$file" && continue
    if hits=$(grep -n -i -E "$include_re" "$root/$file"); then
      sed "s|^|$file:|" <<<"$hits"
      bad=1
    fi
  done < <(list_sources "$root")
  if [ "$scanned" = 0 ]; then echo "no source files found under $root"; return 1; fi
  echo "scanned $scanned files"
  return $bad
}

self_test() {
  local tmp; tmp=$(mktemp -d) || return 1
  trap 'rm -rf "$tmp"' RETURN
  mkdir -p "$tmp"/src/core "$tmp"/src/win "$tmp"/src/cad/com "$tmp"/src/ui/main/win "$tmp"/tests/unit/ui
  printf '#include <windows.h>\n' >"$tmp/src/win/ok.cpp"
  printf '#include <oleauto.h>\n' >"$tmp/src/cad/com/ok.h"
  printf '#include <commctrl.h>\n' >"$tmp/src/ui/main/win/list.h"
  printf '#include <windows.h>\n' >"$tmp/src/ui/main/main_window.cpp"
  printf '#include <windows.h>\n' >"$tmp/tests/unit/ui/list_win_test.cpp"
  printf '#include "core/windows_like.h"\n// #include <windows.h> in a comment\n' >"$tmp/src/core/ok.cpp"
  check_tree "$tmp" >/dev/null || { echo "self-test: allowed files were reported"; check_tree "$tmp"; return 1; }
  printf 'int x;\n  #  include "Windows.h"\n' >"$tmp/src/core/bad.cpp"
  printf '#include <shellapi.h>\n' >"$tmp/src/ui/main/win_helpers.h"  # allowed: src/ui/<module>/win*
  printf '#include <winhttp.h>\n' >"$tmp/tests/unit/ui/fetch.cpp"
  local out; out=$(check_tree "$tmp") && { echo "self-test: forbidden includes were not reported"; return 1; }
  grep -q '^src/core/bad.cpp:2:' <<<"$out" && grep -q '^tests/unit/ui/fetch.cpp:1:' <<<"$out" &&
    ! grep -q 'win_helpers.h' <<<"$out" || { echo "self-test: wrong report:"; echo "$out"; return 1; }
  echo "self-test passed"
}

if [ "${1:-}" = "--self-test" ]; then
  self_test
else
  root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
  check_tree "$root"
fi

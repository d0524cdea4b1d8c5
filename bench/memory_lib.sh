# Private memory of a running Wine process, read from the kernel
# (/proc/PID/smaps of the Wine process; Wine's GetProcessMemoryInfo reports
# no private usage for other processes). Source it.
# The PE images a process maps, as "start size file" lines (start in hex,
# SizeOfImage from the file's header). Wine reads an image whose sections
# are not page-aligned in the file (as the MinGW linker writes them) into
# anonymous memory inside the image's range: that memory is the module's.
images() { # pid
  local start offset path at
  while read -r start offset path; do
    at=$(od -An -tu4 -j60 -N4 "$path" 2>/dev/null | tr -d ' ') || continue
    [ -n "$at" ] && echo "${start%%-*} $(od -An -tu4 -j$((at + 80)) -N4 "$path" | tr -d ' ') $path"
  done < <(awk '$3 == "00000000" && tolower($6) ~ /\.(dll|exe)$/ { print $1, $3, $6 }' "/proc/$1/maps")
}
# Private kB of one process in all.
private_total() { # pid
  awk '/^Private_(Clean|Dirty):/ { kb += $2 } END { print kb + 0 }' "/proc/$1/smaps" 2>/dev/null
}
# Private kB by module of one process, as "module kB" lines.
private_by_module() { # pid image
  awk -v image="$(printf '%s' "$2" | tr 'A-Z' 'a-z')" '
    function hex(h,   i, v) { v = 0; for (i = 1; i <= length(h); i++) v = v * 16 + index("0123456789abcdef", substr(h, i, 1)) - 1; return v }
    function base(path,   part, n) { n = split(path, part, "/"); return tolower(part[n]) }
    FNR == NR { lo[++images] = hex($1); hi[images] = lo[images] + $2; name[images] = base($3); next }
    /^[0-9a-f]+-[0-9a-f]+ / {
      file = base($6)
      if (file == "") { split($1, r, "-"); at = hex(r[1]); for (i = 1; i <= images; i++) if (at >= lo[i] && at < hi[i]) file = name[i] }
      next
    }
    /^Private_(Clean|Dirty):/ {
      m = "other"
      if (file == "" || file == "[heap]") m = "heap"
      else if (file == image) m = "image"
      else if (file == "brindle.dll") m = "Brindle"
      else if (file == "gdiplus.dll") m = "GDI+"
      else if (file ~ /^(ole32|combase|rpcrt4|oleaut32)\.dll$/) m = "COM"
      else if (file ~ /^(wbem.*|emuwmi|wmiutils|fastprox)\.dll$/) m = "WMI"
      kb[m] += $2; total += $2
    }
    END { for (m in kb) print m, kb[m]; print "total", total + 0 }' <(images "$1") "/proc/$1/smaps" 2>/dev/null
}

#!/usr/bin/env bash
# scripts/vm/extract-vmlinux.sh VMLINUZ OUTPUT: writes the uncompressed kernel
# (an ELF file) held in VMLINUZ to OUTPUT, if that kernel can be started
# directly (it carries a PVH entry point). Fails otherwise, leaving no OUTPUT.
#
# Why: under emulation, the kernel's own decompressor takes about ten seconds
# of every boot; qemu starts such an ELF kernel without it.
set -uo pipefail
image=$1
output=$2
rm -f "$output"

# Each compressed stream that could be the kernel: its magic bytes and decompressor.
formats=(
  $'\\xfd7zXZ\\x00' "xz -dc"
  $'\\x28\\xb5\\x2f\\xfd' "zstd -qdc"
  $'\\x1f\\x8b\\x08' "gzip -dc"
)
for ((i = 0; i < ${#formats[@]}; i += 2)); do
  magic=${formats[i]}
  decompress=${formats[i + 1]}
  command -v "${decompress%% *}" >/dev/null || continue
  while read -r offset; do
    # The stream is followed by the rest of the image: the decompressor
    # complains about it, after writing the whole kernel.
    tail -c +$((offset + 1)) "$image" | $decompress >"$output.tmp" 2>/dev/null
    if [[ $(head -c 4 "$output.tmp" 2>/dev/null | od -An -tx1 | tr -d ' ') == 7f454c46 ]]; then
      # Xen's note XEN_ELFNOTE_PHYS32_ENTRY (18) marks the PVH entry point.
      if readelf -n "$output.tmp" 2>/dev/null | grep -qE '^ +Xen +0x[0-9a-f]+[[:space:]]+.*\(0x00000012\)'; then
        mv "$output.tmp" "$output"
        exit 0
      fi
    fi
  done < <(LC_ALL=C grep -obUaP "$magic" "$image" | cut -d: -f1)
done
rm -f "$output.tmp"
exit 1

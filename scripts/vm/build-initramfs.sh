#!/usr/bin/env bash
# scripts/vm/build-initramfs.sh KERNEL_VERSION OUTPUT: writes the test VM's
# initramfs (gzip'd cpio) to OUTPUT: busybox, scripts/vm/init as /init, and the
# modules of that kernel (from /lib/modules) that the init needs for the
# shared folders, in loading order (/modules/order). Modules built into the
# kernel are left out.
set -euo pipefail
version=$1
output=$2
modules_dir=/lib/modules/$version
busybox=$(command -v busybox) || { echo "busybox is missing (Debian package busybox-static)" >&2; exit 1; }
if ldd "$busybox" >/dev/null 2>&1; then
  echo "$busybox is linked dynamically; the initramfs needs busybox-static" >&2
  exit 1
fi

tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/bin" "$tree/modules"
cp "$busybox" "$tree/bin/busybox"
cp "$(dirname "$0")/init" "$tree/init"
chmod 755 "$tree/init"

# The path in modules.dep of a module named like "9pnet_virtio", or nothing.
module_path() {
  awk -F: -v name="$1" '{
      file = $1; sub(/.*\//, "", file); sub(/\.ko(\.[a-z]+)?$/, "", file); gsub(/-/, "_", file)
      if (file == name) { print $1; exit }
    }' "$modules_dir/modules.dep"
}

# Adds the module after what it depends on (modules.dep lists a module's
# dependencies so that the last one loads first).
declare -A added=()
order=()
add_module() {
  local name=$1 path
  [[ -n ${added[$name]:-} ]] && return
  added[$name]=1
  path=$(module_path "$name")
  if [[ -z $path ]]; then
    if grep -qE "/${name//_/[-_]}\.ko\$" "$modules_dir/modules.builtin"; then return; fi
    echo "the kernel $version has no module $name" >&2
    exit 1
  fi
  local deps=() i dep
  read -ra deps <<<"$(grep -m1 "^$path:" "$modules_dir/modules.dep" | cut -d: -f2)"
  for ((i = ${#deps[@]} - 1; i >= 0; i--)); do
    dep=${deps[i]##*/}
    dep=${dep%%.ko*}
    add_module "${dep//-/_}"
  done
  case $path in
    *.ko) cp "$modules_dir/$path" "$tree/modules/$name.ko" ;;
    *.ko.xz) xz -dc "$modules_dir/$path" >"$tree/modules/$name.ko" ;;
    *.ko.zst) zstd -qdc "$modules_dir/$path" >"$tree/modules/$name.ko" ;;
    *.ko.gz) gzip -dc "$modules_dir/$path" >"$tree/modules/$name.ko" ;;
    *) echo "cannot read the module $path" >&2; exit 1 ;;
  esac
  order+=("$name")
}
for module in virtio_pci 9pnet_virtio 9p overlay; do
  add_module "$module"
done
printf '%s\n' "${order[@]}" >"$tree/modules/order"

mkdir -p "$(dirname "$output")"
(cd "$tree" && find . | LC_ALL=C sort | cpio --quiet -o -H newc -R 0:0) | gzip -1 >"$output.tmp"
mv "$output.tmp" "$output"

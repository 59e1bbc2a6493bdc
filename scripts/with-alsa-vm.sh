#!/usr/bin/env bash
# scripts/with-alsa-vm.sh COMMAND...: runs COMMAND inside a small virtual
# machine whose kernel has a real ALSA sequencer, and returns COMMAND's exit
# status. For machines without sound hardware (no /dev/snd), so that the ALSA
# code runs against the real thing.
#
# The VM boots this machine's Debian kernel (the newest /boot/vmlinuz-* with a
# /lib/modules folder) with a tiny initramfs (scripts/vm/; both prepared in
# out/vm/ and prepared again when the kernel or those scripts change). The
# host's root is shared read-only under a writable layer in memory, so COMMAND
# sees the same files and runs in the same working directory; what it writes
# there is lost with the VM. Inside, snd-seq-dummy gives the client
# "Midi Through" (what its port 0 receives, it sends back) and snd-virmidi the
# clients "Virtual Raw MIDI 0-0" to "0-3", each joined to a raw MIDI device
# /dev/snd/midiC0D0..3. COMMAND runs as root with the caller's PATH, HOME,
# TERM, QT_QPA_PLATFORM (offscreen unless set) and the sanitizers'
# *SAN_OPTIONS; its output (stdout and stderr together, through a pipe) comes
# to stdout as it runs. The times taken go to stderr at the end.
#
# Uses KVM where /dev/kvm can be opened and boots there, plain emulation
# otherwise (slower: about 10 s to boot). Environment:
#   ORVALIS_VM_NO_KVM=1      emulate even where KVM is there
#   ORVALIS_VM_TIMEOUT=SECS  stop the VM after this long (default 1200)
#   ORVALIS_VM_KERNEL=VER    boot /boot/vmlinuz-VER
# Exit status: COMMAND's; 124 on timeout; 125 when the VM could not run it.
# The qemu process is stopped by its PID on every way out of this script.
set -uo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
timeout_seconds=${ORVALIS_VM_TIMEOUT:-1200}
kvm_boot_seconds=20

die() {
  echo "with-alsa-vm: $*" >&2
  exit 125
}

(($# > 0)) || die "usage: scripts/with-alsa-vm.sh COMMAND..."
qemu=$(command -v qemu-system-x86_64) || die "qemu-system-x86_64 is missing (Debian package qemu-system-x86)"

kernel_version=${ORVALIS_VM_KERNEL:-}
if [[ -z $kernel_version ]]; then
  while read -r image; do
    candidate=${image#/boot/vmlinuz-}
    if [[ -f /lib/modules/$candidate/modules.dep ]]; then
      kernel_version=$candidate
      break
    fi
  done < <(printf "%s\n" /boot/vmlinuz-* | sort -rV)
fi
[[ -n $kernel_version ]] \
  || die "no kernel to boot: no /boot/vmlinuz-VERSION with /lib/modules/VERSION (Debian package linux-image-amd64)"
vmlinuz=/boot/vmlinuz-$kernel_version
[[ -r $vmlinuz ]] || die "cannot read $vmlinuz (run as root)"
[[ -f /lib/modules/$kernel_version/modules.dep ]] || die "no modules for the kernel $kernel_version in /lib/modules"

# What the VM boots, named after everything it is made from.
cache=$repo/out/vm
mkdir -p "$cache" || die "cannot create $cache"
key=$({
  echo "$kernel_version"
  stat -c '%s %Y' "$vmlinuz" "/lib/modules/$kernel_version/modules.dep" "$(command -v busybox || echo /dev/null)"
  cat "$repo"/scripts/vm/*
} | sha256sum | cut -c1-16)
initramfs=$cache/initramfs-$kernel_version-$key.cpio.gz
vmlinux=$cache/vmlinux-$kernel_version-$key
if [[ ! -f $initramfs ]]; then
  rm -f "$cache"/initramfs-* "$cache"/vmlinux-*
  bash "$repo/scripts/vm/build-initramfs.sh" "$kernel_version" "$initramfs" || die "cannot build the initramfs"
  bash "$repo/scripts/vm/extract-vmlinux.sh" "$vmlinuz" "$vmlinux" || : >"$vmlinux.none"
fi
kernel=$vmlinux
[[ -f $vmlinux.none ]] && kernel=$vmlinuz

job=$(mktemp -d /tmp/orvalis-vm.XXXXXX) || die "cannot create a job folder"
qemu_pid=
stop_qemu() {
  kill "$qemu_pid" 2>/dev/null
  for _ in $(seq 50); do kill -0 "$qemu_pid" 2>/dev/null || break; sleep 0.1; done
  kill -9 "$qemu_pid" 2>/dev/null
  wait "$qemu_pid" 2>/dev/null
  qemu_pid=
}
clean_up() {
  [[ -n $qemu_pid ]] && stop_qemu
  rm -rf "$job"
}
trap clean_up EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The job: the caller's environment and folder, the sound modules, COMMAND.
# Its marks on the kernel's console time the run.
{
  echo '#!/bin/bash'
  printf 'export PATH=%q HOME=%q QT_QPA_PLATFORM=%q\n' "$PATH" "${HOME:-/root}" "${QT_QPA_PLATFORM:-offscreen}"
  echo 'unset TERM'  # the kernel's, for its console
  for name in TERM ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS TSAN_OPTIONS; do
    if [[ -n ${!name+set} ]]; then printf 'export %s=%q\n' "$name" "${!name}"; fi
  done
  echo 'modprobe snd-seq-dummy && modprobe snd-virmidi || { echo "with-alsa-vm: cannot load the ALSA modules" >&2; exit 125; }'
  printf 'cd %q || exit 125\n' "$PWD"
  echo 'echo "orvalis-vm: command started" >/dev/console'
  printf '%q ' "$@"
  echo
  echo 'status=$?'
  echo 'echo "orvalis-vm: command ended" >/dev/console'
  echo 'exit $status'
} >"$job/job"
chmod 755 "$job/job"

# The VM's /tmp is a memory file system of its own: the caller's folder and
# the checkout, when they lie in the host's /tmp (a clone made there), are
# shown in it as they are on the host, writable.
for folder in "$repo" "$PWD"; do
  if [[ $folder == /tmp/* ]]; then printf '%s\n' "$folder"; fi
done | sort -u >"$job/from-host-tmp"

# Starts the VM in the background (qemu_pid), with KVM or emulation ($1).
start_vm() {
  local accel=(-accel tcg)
  [[ $1 == KVM ]] && accel=(-enable-kvm -cpu host)
  : >"$job/console.log"
  "$qemu" "${accel[@]}" -machine pc -m 4096 -smp 2 \
    -nodefaults -no-user-config -display none -no-reboot \
    -kernel "$kernel" -initrd "$initramfs" \
    -append "console=ttyS0 quiet loglevel=3 panic=-1 cryptomgr.notests" \
    -virtfs "local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap" \
    -virtfs "local,path=$job,mount_tag=job,security_model=none,multidevs=remap" \
    -serial "file:$job/console.log" \
    -chardev stdio,id=output,signal=off -serial chardev:output \
    </dev/null 2>"$job/qemu.log" &
  qemu_pid=$!
}

# Follows the VM until qemu ends, noting when each mark appears on the console
# (init_at, command_at, ended_at). Returns 1 when $1 seconds pass without the
# init running, 2 when the whole timeout passes; the VM is then still running.
follow_vm() {
  local boot_deadline=$((SECONDS + $1)) deadline=$((SECONDS + timeout_seconds))
  init_at='' command_at='' ended_at=''
  while kill -0 "$qemu_pid" 2>/dev/null; do
    note_marks
    [[ -z $init_at ]] && ((SECONDS >= boot_deadline)) && return 1
    ((SECONDS >= deadline)) && return 2
    sleep 0.1
  done
  note_marks
  return 0
}
note_marks() {
  local console
  console=$(<"$job/console.log")
  [[ -z $init_at && $console == *"orvalis-vm: init"* ]] && init_at=$EPOCHREALTIME
  [[ -z $command_at && $console == *"orvalis-vm: command started"* ]] && command_at=$EPOCHREALTIME
  [[ -z $ended_at && $console == *"orvalis-vm: command ended"* ]] && ended_at=$EPOCHREALTIME
}

seconds_between() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", b - a }'; }

started=$EPOCHREALTIME
mode=emulation
if [[ -z ${ORVALIS_VM_NO_KVM:-} && -r /dev/kvm && -w /dev/kvm ]]; then
  mode=KVM
  start_vm KVM
  follow_vm "$kvm_boot_seconds" 2>/dev/null
  followed=$?
  # Some hosts offer a KVM that cannot run this kernel (nested set-ups): qemu
  # fails at once, or the boot stalls.
  if [[ -z $init_at ]]; then
    stop_qemu 2>/dev/null
    echo "with-alsa-vm: KVM could not boot the VM here ($(seconds_between "$started" "$EPOCHREALTIME") s lost); using emulation" >&2
    sed 's/^/  qemu: /' "$job/qemu.log" | tail -n 5 >&2
    mode=emulation
    started=$EPOCHREALTIME
  fi
fi
if [[ $mode == emulation ]]; then
  start_vm emulation
  follow_vm "$timeout_seconds" 2>/dev/null
  followed=$?
fi
if ((followed != 0)); then
  stop_qemu
  echo "with-alsa-vm: the VM ($mode) did not end within $timeout_seconds s; stopped it" >&2
  exit 124
fi
wait "$qemu_pid" 2>/dev/null
qemu_status=$?
qemu_pid=
ended=$EPOCHREALTIME

if [[ ! -s $job/status ]]; then
  {
    echo "with-alsa-vm: the VM ($mode, kernel $kernel_version) stopped without running the command (qemu exit status $qemu_status)."
    if [[ -s $job/qemu.log ]]; then
      echo "--- qemu:"
      tail -n 20 "$job/qemu.log"
    fi
    if [[ -s $job/console.log ]]; then
      echo "--- kernel console:"
      tail -n 40 "$job/console.log"
    fi
  } >&2
  exit 125
fi

status=$(<"$job/status")
if [[ -n $command_at && -n $ended_at ]]; then
  echo "with-alsa-vm: $(seconds_between "$started" "$ended") s in the VM ($mode):" \
    "$(seconds_between "$started" "$command_at") s to boot," \
    "$(seconds_between "$command_at" "$ended_at") s for the command," \
    "$(seconds_between "$ended_at" "$ended") s to power off" >&2
else
  echo "with-alsa-vm: $(seconds_between "$started" "$ended") s in the VM ($mode)" >&2
fi
exit "$status"

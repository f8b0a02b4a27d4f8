#!/bin/busybox sh
# The guest's first process: loads the drivers, mounts the host's root
# read-only over 9p with a writable /tmp and the source and build trees on
# top, runs the command the lane put in
# /lane-command there, reports its exit status on the console and powers off.
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev

for module in $(cat /lane-modules); do
  insmod "/$module" || echo "lane: insmod $module failed"
done

finish() {
  echo "quorvel-lane-result $1"
  sync
  poweroff -f
}

share() {
  mount -t 9p -o trans=virtio,version=9p2000.L,ro,cache=loose,msize=262144 "$1" "$2"
}
share hostroot /host || finish 125
mount -t tmpfs tmpfs /host/tmp
# The source and build trees at their own paths, also where /tmp now hides them.
while read -r tag path; do
  mkdir -p "/host$path" && share "$tag" "/host$path" || finish 125
done < /lane-trees
for tree in dev proc sys; do
  mount --bind "/$tree" "/host/$tree"
done

# The adapter enumerates a few seconds after boot.
waited=0
while [ ! -c /dev/ttyUSB0 ] && [ $waited -lt 100 ]; do
  sleep 0.1
  waited=$((waited + 1))
done
echo "lane: guest up in $(cut -d' ' -f1 /proc/uptime) s, ttyUSB0 $([ -c /dev/ttyUSB0 ] && echo present || echo missing)"

chroot /host /bin/sh -c "$(cat /lane-command)" < /dev/null
finish $?

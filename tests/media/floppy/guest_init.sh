#!/bin/sh
# The floppy machine's first program. Mounts the kernel's file systems, loads
# the floppy driver, FAT and the stick's virtio disk in the order of their
# dependencies, runs the guest driver on the case named on the kernel command
# line, reports how it ended and powers the machine off.
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for module in $(cat /lib/modules/order); do
  insmod "/lib/modules/$module.ko" || echo "@@fail cannot load $module"
done
mkdir -p /media/floppy /data
case=$(sed -n 's/.*slicery_case=\([^ ]*\).*/\1/p' /proc/cmdline)
/bin/slicery_floppy_guest "$case"
echo "@@end $?"
poweroff -f

#!/bin/busybox sh
# /init of the test VM built by native_drive_vm.py: loads the drivers of the emulated drives, runs
# the probe as root and as an unprivileged user, then tonalda-cli, and powers the VM off. Lines that
# start with "@@ " are JSON reports for the host; "|| " lines are tonalda-cli's output.

/bin/busybox --install -s /bin
export PATH=/bin:/opt/tonalda/bin
export LD_LIBRARY_PATH=/lib/x86_64-linux-gnu
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/shm /tmp
mount -t tmpfs -o mode=1777 shm /dev/shm
mount -t tmpfs -o mode=1777 tmp /tmp

report() { echo "@@ $1"; }

# Waits up to a minute for the kernel to have made the wanted number of sr devices.
wait_for_drives() {
    tries=0
    while [ "$(ls -d /sys/block/sr* 2>/dev/null | wc -l)" -lt "$1" ] && [ $tries -lt 600 ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
}

modprobe -a sr_mod sg ahci virtio_pci virtio_scsi
wait_for_drives 3
report "{\"event\":\"modules\",\"loaded\":\"$(cut -d' ' -f1 /proc/modules | sort | tr '\n' ' ')\"}"
report "{\"event\":\"aspi\",\"modules\":\"$(find / -xdev -iname '*aspi*' 2>/dev/null | tr '\n' ' ')\"}"
for block in /sys/block/sr*; do
    name=${block##*/}
    target=$(readlink "$block/device")
    report "{\"event\":\"sysfs\",\"name\":\"$name\",\"hctl\":\"${target##*/}\",\"type\":\"$(cat "$block/device/type")\",\"path\":\"$(readlink -f "$block/device")\"}"
done

TONALDA_SHM_PREFIX=vm-root- native_drive_probe root
report "{\"event\":\"exit\",\"phase\":\"root\",\"code\":$?}"

# Others may read the devices but not write them, as on a desktop where the user is not in the
# group that owns the drive.
chmod 0644 /dev/sr*
TONALDA_SHM_PREFIX=vm-user- native_drive_probe user 1000
report "{\"event\":\"exit\",\"phase\":\"user\",\"code\":$?}"

export HOME=/tmp/home XDG_CONFIG_HOME=/tmp/config TONALDA_SHM_PREFIX=vm-cli-
mkdir -p "$HOME"
cli() {
    report "{\"event\":\"cli\",\"stage\":\"begin\",\"args\":\"$*\"}"
    "$@" >/tmp/cli.out 2>&1
    code=$?
    sed 's/^/|| /' /tmp/cli.out
    report "{\"event\":\"cli\",\"stage\":\"end\",\"args\":\"$*\",\"code\":$code}"
}
cli tonalda-setup
cli tonalda-cli drives
for unit in 0 1 2; do
    cli tonalda-cli toc --unit $unit
done

report '{"event":"poweroff"}'
poweroff -f

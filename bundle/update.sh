#!/bin/sh
# The download window's daily update check. yt-dlp is kept up to date by
# the system's package manager, so this only reports the installed version
# (the window stores it and shows it in its title).
if ! version=$(yt-dlp --version 2>/dev/null); then
    echo "yt-dlp is not installed (Debian package yt-dlp)"
    exit 1
fi
echo "Updating to version $version (kept up to date by the package manager)"

#!/bin/sh
# The same for a build against Qt 6 (with the results database's SQL drivers,
# the PostgreSQL server its tests start, and the browser
# the report's page is checked in). Debian 12's Qt 6 Charts CMake package
# needs Qt 6 OpenGL's, which qt6-charts-dev does not pull in.
exec sh "$(dirname "$0")/install-packages.sh" \
  make cmake g++ qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-charts-dev \
  libqt6opengl6-dev qt6-qpa-plugins fonts-wqy-microhei locales xvfb xauth \
  libqt6sql6-sqlite libqt6sql6-psql postgresql chromium qt6-translations-l10n

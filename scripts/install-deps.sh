#!/bin/sh
# Installs the Debian packages the build, the tests and the program need
# (Qt 5), and nothing when they are all present already.
# locales: the log-file encoding test compiles a GB18030 locale;
# xvfb, xauth: the help dialog is tested on a screen taller than its form;
# clang, libclang-rt-14-dev: the fuzz targets (libFuzzer);
# libqt5sql5-sqlite, libqt5sql5-psql: the results database's drivers;
# postgresql: the results tests start a server of their own.
# chromium: the report's HTML page is checked in the headless browser;
# qttranslations5-l10n: Qt's own dialogs in Chinese like the window (optional at run time).
exec sh "$(dirname "$0")/install-packages.sh" \
  make cmake g++ qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev libqt5charts5-dev \
  libqt5svg5 fonts-wqy-microhei locales xvfb xauth clang libclang-rt-14-dev \
  libqt5sql5-sqlite libqt5sql5-psql postgresql chromium qttranslations5-l10n

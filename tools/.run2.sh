source tools/wine-env.sh; wine_start; trap wine_stop EXIT
export BUILD_DIR=$PWD/build
tools/wine-run.sh build/bin/support_tests.exe --gtest_filter=PathUtil.Awk*
tools/wine-run.sh build/bin/settings_e2e_tests.exe --gtest_filter=*Folder*:*Cancel*
tools/wine-run.sh build/bin/playback_e2e_tests.exe --gtest_filter=*AFolder*

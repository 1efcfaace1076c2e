package com.sealdeck.runtime.installer.platform.win32;

public final class Common {
    private Common() {}

    public static void initFromLauncher(boolean registered) {
        sldkprobe.Trace.line("initFromLauncher " + registered);
    }
}

package com.sealdeck.runtime.launcher;

public final class WinLauncher {
    private WinLauncher() {}

    public static void main(String[] args) {
        sldkprobe.Trace.received("sealdeck", args);
    }
}

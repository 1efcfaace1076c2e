package com.vexon.runtime;

public final class WinLauncher {
    private WinLauncher() {}

    public static void main(String[] args) {
        sldkprobe.Trace.received("vexon", args);
    }

    public static void initAwtSplashConfig(boolean enabled, boolean flag, String text1, int x1, int y1,
            String colour1, int size1, int weight1, String text2, int x2, int y2, String colour2, int size2,
            int weight2) {
        sldkprobe.Trace.line("splash " + enabled + " " + flag + " [" + text1 + "] " + x1 + " " + y1 + " ["
                + colour1 + "] " + size1 + " " + weight1 + " [" + text2 + "] " + x2 + " " + y2 + " ["
                + colour2 + "] " + size2 + " " + weight2);
    }
}

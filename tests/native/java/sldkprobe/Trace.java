package sldkprobe;

import java.io.FileOutputStream;
import java.io.IOException;
import java.nio.charset.StandardCharsets;

/** Appends what the Java side received to the file named by the system property sldk.trace. */
public final class Trace {
    private Trace() {}

    public static synchronized void line(String text) {
        String file = System.getProperty("sldk.trace");
        if (file == null) return;
        try (FileOutputStream out = new FileOutputStream(file, true)) {
            out.write((text + "\n").getBytes(StandardCharsets.UTF_8));
        } catch (IOException e) {
            throw new IllegalStateException(e);
        }
    }

    /** The arguments, the launcher properties and what the launcher set before main. */
    public static void received(String launcher, String[] args) {
        line("main " + launcher + " " + args.length);
        for (int i = 0; i < args.length; i++) line("arg " + i + "=" + args[i]);
        String[] names = {"vexon.semaphoreName", "vexon.manualJre", "vexon.isSealdeck", "vexon.isService",
                "vexon.moduleName", "sun.java.command", "vexon.tempDir", "vexon.unextractedPosition",
                "vexon.consoleCodepage", "sealdeck.noRedir"};
        for (String name : names) {
            String value = System.getProperty(name);
            if (value != null) line("property " + name + "=" + value);
        }
        line("library path " + System.getProperty("java.library.path"));
        line("WinDel " + com.vexon.runtime.util.WinDel.externalExecutable);
        for (String arg : args) {
            if (arg.equals("--throw")) throw new IllegalStateException("launch refused: caf\u00e9");
        }
    }
}

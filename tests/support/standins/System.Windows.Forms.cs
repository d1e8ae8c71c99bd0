// Stand-in for System.Windows.Forms where .NET has no Windows Forms (Linux).
// The installer script loads the assembly by name and shows its failure
// message with MessageBox.Show(text, caption). This assembly records each call
// and, when the test asks for it, blocks like a modal box until the test
// dismisses it, so a test can see that the script waits for the box.
//
//   VTF_TEST_MESSAGEBOX_DIR      folder that receives boxN.txt per call:
//                                caption, one NUL character, text (UTF-8)
//   VTF_TEST_MESSAGEBOX_RELEASE  file whose appearance dismisses the box;
//                                without it the box returns at once
using System;
using System.IO;
using System.Text;
using System.Threading;

// Named in DOTNET_STARTUP_HOOKS, the runtime loads this assembly into the
// script's process at start, where the name System.Windows.Forms then
// resolves as it does on Windows.
internal static class StartupHook
{
    public static void Initialize() { }
}

namespace System.Windows.Forms
{
    public enum DialogResult { None = 0, OK = 1, Cancel = 2 }

    public static class MessageBox
    {
        public static DialogResult Show(string text, string caption)
        {
            string folder = Environment.GetEnvironmentVariable("VTF_TEST_MESSAGEBOX_DIR");
            if (!string.IsNullOrEmpty(folder))
            {
                int number = 1;
                while (File.Exists(Path.Combine(folder, "box" + number + ".txt"))) number++;
                string partial = Path.Combine(folder, "box" + number + ".partial");
                File.WriteAllText(partial, caption + "\0" + text, new UTF8Encoding(false));
                File.Move(partial, Path.Combine(folder, "box" + number + ".txt"));
            }
            string release = Environment.GetEnvironmentVariable("VTF_TEST_MESSAGEBOX_RELEASE");
            if (!string.IsNullOrEmpty(release))
            {
                DateTime giveUp = DateTime.UtcNow.AddMinutes(5);
                while (!File.Exists(release) && DateTime.UtcNow < giveUp) Thread.Sleep(50);
            }
            return DialogResult.OK;
        }
    }
}

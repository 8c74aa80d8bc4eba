var h = new ActiveXObject("Tessarix5.Helper");
var sea = SAMPLES + "/pictures/sea.jpg", city = SAMPLES + "/pictures/city.jpg";
automation.setClipboardFiles([sea, SAMPLES + "/tree/a.txt", city]);
if (h.GetClipFiles() !== sea + "||" + city) throw new Error("clipboard: " + h.GetClipFiles());
if (!h.ClipBoardHaveFile()) throw new Error("no picture file seen");
automation.setClipboardText("just text");
if (h.ClipBoardHaveFile() || h.GetClipFiles() !== "") throw new Error("text taken for files");
// The picture uploads like any file.
var u = new ActiveXObject("Tessarix5.FileUpload");
u.StartUpload("/clip", CMS + "/upload.asp", sea, 1);
console.log("expect: file " + u.NewFileName + " pictures/sea.jpg");

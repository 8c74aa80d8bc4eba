var u = new ActiveXObject("Tessarix5.FileUpload");
u.StartUpload("/news", CMS + "/upload.asp", SAMPLES + "/tree/a.txt", 5);
if (automation.child(u, "pbFile").value !== 100) throw new Error("progress did not reach 100");
console.log("expect: file " + u.NewFileName + " tree/a.txt");
console.log("expect: served " + u.NewFileName);
// The same name again is stored beside the first, never over it.
var first = u.NewFileName;
u.StartUpload("/news/", CMS + "/upload.asp", SAMPLES + "/tree/b.txt", 5);
u.StartUpload("/news/", CMS + "/upload.asp", SAMPLES + "/tree/a.txt", 5);
if (u.NewFileName === first) throw new Error("the second a.txt overwrote the first");
console.log("expect: file " + u.NewFileName + " tree/a.txt");

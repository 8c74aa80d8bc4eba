// The whole system in one page: a file, a folder tree, office documents and a
// text, and a batch of pictures with thumbnails and a watermark, all sent to the
// CMS at CMS. The demo script defines CMS and SAMPLES (see scripts/demo.sh).
var upload = CMS + "/cms/upload.asp", post = CMS + "/cms/savepost.asp";

function step(title) { console.log("== " + title); }

step("FileUpload: one file");
var file = new ActiveXObject("Tessarix5.FileUpload");
file.StartUpload("/demo/", CMS + "/upload.asp", SAMPLES + "/article.txt", 1);
console.log("   stored as " + file.NewFileName);

step("MultiUpload: a folder tree");
var multi = new ActiveXObject("Tessarix5.MultiUpload");
multi.StartUpload("/demo/tree/", CMS + "/upload.asp");
automation.answerFolderDialogs([SAMPLES + "/tree"]);
automation.child(multi, "Command1").click();
automation.child(multi, "Command2").click();
var boxes = automation.messageBoxes();
console.log("   " + boxes[boxes.length - 1].text);

step("OfficeImport: .docx (paged), .xlsx, .pptx and .txt");
var office = new ActiveXObject("Tessarix5.OfficeImport");
office.Init(upload, post, "/demo/articles/", 1, "demo");
var dir = SAMPLES + "/office/";
automation.answerFileDialogs([[dir + "report.docx", dir + "book.xlsx", dir + "talk.pptx", SAMPLES + "/article.txt"]]);
automation.child(office, "Command1").click();
automation.child(office, "Check1").setChecked(true);
automation.child(office, "Command3").click();
var lines = automation.child(office, "List1").items;
for (var i = 0; i < lines.length; i++) console.log("   " + lines[i]);

step("ImageImport: three pictures, thumbnails and a watermark, one article each");
var images = new ActiveXObject("Tessarix5.ImageImport");
images.Init(upload, post, "/demo/pictures/", 1, "demo", "Tessarix 演示");
var pics = SAMPLES + "/pictures/";
automation.answerFileDialogs([[pics + "sea.jpg", pics + "hills.jpg", pics + "city.jpg"]]);
automation.child(images, "btnAddFile").click();
automation.child(images, "opOnePic").click();
automation.child(images, "chkStamp").setChecked(true);
automation.answerMessageBoxes(["Yes"]);
automation.child(images, "btnBegin").click();
var log = automation.child(images, "lstLog").items;
console.log("   " + (log.length ? log.join("; ") : "no errors"));

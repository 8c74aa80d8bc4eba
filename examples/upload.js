// Uploads one sample file with FileUpload.StartUpload and prints the server's name
// for it. The demo script defines CMS (the server's address) and SAMPLE (a file).
var cms = typeof CMS !== "undefined" ? CMS : "http://127.0.0.1";
var sample = typeof SAMPLE !== "undefined" ? SAMPLE : "/etc/hostname";

var upload = new ActiveXObject("Tessarix5.FileUpload");
upload.StartUpload("/demo/", cms + "/upload.asp", sample, 1);
console.log("uploaded " + sample);
console.log("NewFileName: " + upload.NewFileName);
if (upload.NewFileName === "" || upload.NewFileName === "Error")
    throw new Error("the server did not take the file");

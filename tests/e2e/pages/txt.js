var o = new ActiveXObject("Tessarix5.OfficeImport");
o.Init(CMS + "/cms/upload.asp", CMS + "/cms/savepost.asp", "/articles/", 7, "editor");
if (o.ImportTxtFile(SAMPLES + "/article.txt", 7, "editor") !== 1) throw new Error("not posted");
if (o.ImportTxt("First line of a longer text that is no title at all, so it starts the body", "7", "editor") !== 1)
    throw new Error("not posted");
console.log("expect: article 春季新闻 1");
console.log("expect: article 尚未设置 1");

// One valid request of every settings writer family, with the failure form its handler answers
// when it cannot store. Shared by the fault suites (a full flash, hostile members, killed and
// parallel writers): each row is a request that stores when there is room.
#pragma once

namespace zvtest {

struct Writer {
  const char* id;
  const char* body;
  const char* reply;  // the failure form, without its header
  bool json;          // the reply's header
};

inline const Writer kWriters[] = {
    {"/6001",
     R"({"camId":2,"camName":"Yard","showName":1,"showDate":0,"showWeek":1,"dateFormat":2,)"
     R"("timeFormat":1,"datePosX":0.5,"datePosY":0.25,"namePosX":0.1,"namePosY":0.9,"alpha":3})",
     "CGI ERROR", false},
    {"/6071",
     R"({"name":"guest","password":"0123456789abcdef0123456789abcdef","type":2,"permission":0,)"
     R"("remotePermission":0})",
     "CGI ERROR", false},
    {"/6072",
     R"({"id":0,"name":"admin","password":"00000000000000000000000000000000","type":0,)"
     R"("permission":-1,"remotePermission":-1})",
     "CGI ERROR", false},
    {"/1024", "", "CGI ERROR", false},
    {"/6012",
     R"({"camId":4,"enable":1,"sensitivity":5,"triChannels":"0101","triAlarms":6,"interval":7,)"
     R"("enableZV":1,"motionTable":"gggg"})",
     "CGI ERROR", false},
    {"/6112",
     R"({"chnid":2,"sensitivity":6,"enableZV":0,"motionTable":"abc","copyCnt":2,"copyChn":[3,1],)"
     R"("dialog":{"chnid":2,"interval":33,"enable":1,"ptzChnId":2,"ptzType":1,)"
     R"("ptzParams":[{"acto_ptz_channel":5,"acto_ptz_type":1}]}})",
     "CGI ERROR", false},
    {"/2003",
     R"({"id":5,"name":"Gate","minorid":3,"enable":1,"ipAddr":"192.168.1.64","managePort":8080,)"
     R"("camProtocol":0,"userName":"cam","password":"secret","transmitProtocol":1,"enableSubStream":1,)"
     R"("syncTime":1,"mainRtspPort":1554,"mainSourcePath":"/main"})",
     "CGI ERROR", false},
    {"/2005", R"({"chnid":0})", "CGI ERROR", false},
    {"/6051", R"({"cnt":1,"chnid":[3],"connectType":1,"baudRate":2400,"dataBits":7,"address":4})", "CGI ERROR", false},
    {"/6054", R"({"camId":3,"pan_speed":1,"tilt_speed":2})", "CGI ERROR", false},
    {"/6055", R"({"chn":3,"tourid":2,"rowsize":1,"path":[{"preset":4,"speed":5,"time":6}]})", "CGI ERROR", false},
    {"/6031", R"({"id":3,"name":"Fair","enable":1,"type":1,"startMon":5})", "CGI ERROR", false},
    {"/6041",
     R"({"cnt":2,"chnid":[0,1],"recordplanmode":1,"schedule":[{"wholedayEnable":1,"wholedayActionType":1,"plans":[]}]})",
     "CGI ERROR", false},
    {"/6043", R"({"records":[{"id":0,"mode":2}]})", "ERROR", false},
    {"/6045", R"({"cnt":1,"chnid":[2],"postRecordDuration":9,"camAnr":0,"recordStreamType":1})", "{ \"resp\": -1 }", true},
    {"/2067", R"({"groups":[{"enable":1,"name":"Hall"}]})", R"({ "res": -1 })", true},
    {"/2070", R"({"groupid":1,"interval":9,"audible":[[["01:00","02:00",1]]]})", R"({ "res": -1 })", true},
    {"/2074", R"({"id":1,"name":"Till","action":{"triChannels":"01"}})", R"({ "res": -1 })", true},
    {"/2076", R"({"report":[{"enable":1}]})", R"({ "res": -1 })", true},
    {"/2077", R"({"chnId":2,"action":{"interval":4}})", R"({ "status": -1 })", true},
    {"/6022", R"({"alarmId":1,"name":"Horn","copyCnt":1,"copyChn":[2]})", "CGI ERROR", false},
    {"/6027", R"({"alarmId":2,"name":"Gate","copyCnt":1,"copyChn":[3],"dialog":{"interval":5}})",
     "{status:\"CGI ERROR\"}", true},
    {"/6062", R"({"alarm":{"id":1,"enable":1,"type":0,"triChannels":"1","triAlarms":1,"interval":2}})", "CGI ERROR",
     false},
    {"/6063", R"({"alarm":{"camId":1,"name":"Hall"}})", "CGI ERROR", false},
    {"/6064", R"({"alarm":{"id":4,"enable":1,"type":1,"triChannels":"1","triAlarms":1,"interval":2}})", "CGI ERROR",
     false},
    {"/6025", R"({"chnid":1,"alarmCnt":1,"alarm":[{"alarmEnable":1,"alarmType":0,"alarmName":"Bell"}],"dialog":[{"alarmId":0,"interval":3}]})",
     "{status:\"CGI ERROR\"}", true},
    {"/6029", R"({"chnid":1,"alarmCnt":1,"alarm":[{"alarmType":0,"delayTime":3}]})", "{status:\"CGI ERROR\"}", true},
    {"/6016", R"({"camId":1,"enable":1,"triAlarms":3,"interval":4})", "CGI ERROR", false},
    {"/6017", R"({"camId":1,"enable":1})", "CGI ERROR", false},
    {"/6095", R"({"chnid":1,"copyCnt":1,"copyChn":[2],"dialog":{"interval":6}})", "{status:\"CGI ERROR\"}", true},
    {"/6121", R"({"cnt":1,"chnid":[2],"interval":9})", "CGI ERROR", false},
    {"/6122", R"({"cnt":1,"chnid":[3],"interval":9})", "CGI ERROR", false},
    {"/6123", R"({"cnt":1,"chnid":[2],"triAlarms":5})", "CGI ERROR", false},
    {"/6125", R"({"cnt":1,"chnid":[2],"interval":9})", "CGI ERROR", false},
    {"/6126", R"({"cnt":1,"chnid":[3],"triSnapshot":"1"})", "CGI ERROR", false},
    {"/6127", R"({"camId":1,"type":1,"triAlarms":3,"cnt":1,"chnid":[2]})", "CGI ERROR", false},
    {"/6165", R"({"camId":1,"cnt":1,"chnid":[2],"schedule":[[["01:00","02:00",1]]]})", "CGI ERROR", false},
    {"/6167", R"({"camId":1,"cnt":1,"chnid":[2],"schedule":[[["01:00","02:00",1]]]})", "CGI ERROR", false},
    {"/6170", R"({"camId":1,"schedule":[[["01:00","02:00",1]]]})", "CGI ERROR", false},
    {"/6175", R"({"cnt":1,"chnid":[2],"schedule":[[["01:00","02:00",1]]]})", "CGI ERROR", false},
    {"/6177", R"({"quality":1,"cnt":1,"chnid":[2]})", "CGI ERROR", false},
    {"/6160", R"({"type":2,"chn_id":1,"acto_ptz_channel":3,"acto_ptz_type":1,"acto_ptz_preset":2})", "CGI ERROR", false},
    {"/6163", R"({"type":2,"chn_id":4,"old_chn_id":1,"acto_ptz_channel":3,"acto_ptz_type":1})", "CGI ERROR", false},
    {"/6091", R"({"camId":1,"enable":1,"type":0,"triActions":1,"triChannels":"1"})", "CGI ERROR", false},
    {"/6093", R"({"camId":1,"enable":1,"type":0,"volume":1,"duration":1,"onEvent":0,"offEvent":0,"ongoingEvent":0,)"
     R"("triActions":1,"triChannels":"1"})", "CGI ERROR", false},
    {"/6998", R"({"0":1,"1":1,"2":1,"3":1,"4":1,"5":1})", "{status:\"CGI ERROR\"}", true},
    {"/1017", R"({"logRetention":4,"photoRetention":6})", "CGI ERROR", false},
    {"/vb.htm", "decode=5", "ERROR", false},
    {"/6101", R"({"portId":3,"property":1,"group":2})", "CGI ERROR", false},
    {"/6109", "1", "CGI ERROR", false},
    {"/6201", R"({"num":1,"type":3,"port":[20],"address":["192.168.1.50"],"directory":["/nvr"]})",
     "{status:\"CGI ERROR\"}", true},
    {"/6203", R"({"port":21,"type":10,"address":"192.168.1.51","directory":"/rec"})", "{status:\"CGI ERROR\"}", true},
    {"/6207", R"({"port":3,"hddType":0})", "Error", false},
    {"/6210", R"({"group_enable":1,"channel":["1"]})", "CGI ERROR", false},
    {"/6221", R"({"stopBackup":0,"enable":1,"backupTime":"03:00"})", "{ \"result\": -1 }", true},
    {"/2048", R"({"channel":2,"exposure":[{"exposureTime":40,"gainLevel":3}]})", "{status:\"CGI ERROR\"}", true},
    {"/2036", R"({"channel":2,"start":0,"end":8,"schedule_motion":[[["01:00","02:00",1]]]})", "CGI ERROR", false},
    {"/6149", R"({"chnid":3,"event":4,"interval":9,"triChannels":"011","audible":[[["00:00","01:00",1]]]})",
     "CGI ERROR", false},
    {"/6150", R"({"channel":3,"type":0,"event":4,"triAlarms":5})", "CGI ERROR", false},
    {"/6180", R"({"chnid":3,"mode":1,"enable":1,"dialog":{"chnid":3,"whiteInfo":[[1,2,3]],"interval":4}})",
     "{status:\"CGI ERROR\"}", true},
    {"/6184", R"({"cnt":2,"plate":[["black","AB%20123"],["white","CD456"]]})", "{status:\"CGI ERROR\"}", true},
    {"/6185", R"({"cnt":1,"plate":[["CD456","visitor","EF789"]]})", "CGI ERROR", false},
    {"/6081",
     R"({"mainResolution":2,"audioOutputOn":1,"audioVolume":70,"hdmiAudioOn":1,"subResolution":1,)"
     R"("wizardEnable":0,"hostname":"Yard","deviceId":9,"displayMode":1,"subEnable":0})",
     "CGI ERROR", false},
    {"/1012", R"({"hostName":"Gate","deviceId":8})", "CGI ERROR", false},
    {"/1033", R"({"enable":1,"hour":4})", "CGI ERROR", false},
    {"/6301", R"({"filterEnable":1,"filterList":[{"address_type":0,"address":"10.0.0.1"}]})", "CGI ERROR", false},
    {"/7001",
     R"({"ntpEnable":1,"dstEnable":1,"timeZone":"GMT+01:00","timeZoneName":"Europe/Paris","syncEnable":1,)"
     R"("syncInterval":3,"syncPc":1})",
     "CGI ERROR", false},
    {"/3300", R"({"sshEnable":1})", "CGI ERROR", false},
    {"/3301", R"({"autoLoginEnable":1})", "CGI ERROR", false},
    {"/3302", R"({"recordMode":1})", "CGI ERROR", false},
    {"/3303", R"({"wizardEnable":1})", "CGI ERROR", false},
    {"/3304", R"({"id":2,"enable":1,"ipAddr":"10.1.1.2","managePort":81})", "CGI ERROR", false},
    {"/ipc", R"({"startip":"10.2.2.2","chnNum":1,"chnFre":2})", "CGI ERROR", false},
    {"/7041", R"({"mode":1,"ipAddr":"10.0.0.9"})", "CGI ERROR", false},
    {"/7011", R"({"enable":1,"userName":"dsl","password":"pw"})", "CGI ERROR", false},
    {"/7021", R"({"enable":1,"updateFreq":5,"domain":"dyn"})", "CGI ERROR", false},
    {"/7031", R"({"smtpPort":26,"enableTls":1,"enableAttach":1,"captureInterval":5,"hostName":"h"})", "CGI ERROR",
     false},
    {"/7051",
     R"({"enableSsh":1,"sshPort":22,"httpPort":80,"rtspPort":554,"servicePort":6036,"enableMsg":1,"pushType":3})",
     "CGI ERROR", false},
    {"/7091", R"({"port":161,"v1_enable":1})", "CGI ERROR", false},
    {"/7085", "", "CGI ERROR", false},
    {"/7096", R"({"defaultRoute":1})", "{status:\"CGI ERROR\"}", true},
    {"/7034", R"({"enable":1,"ip":"239.0.0.5"})", "{status:\"CGI ERROR\"}", true},
    {"/7061", R"({"enableP2P":0})", "CGI ERROR", false},
};

}  // namespace zvtest

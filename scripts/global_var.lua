-- Product configuration: plain global assignments, nothing else. The installer runs this
-- chunk first; the uninstaller gets the same chunk as Uninst.dar0. Names, addresses and
-- contact data of this sample product are fictional; hosts lie under the reserved
-- .example domain, so a release replaces them with the publisher's real ones.
global_install_basepath = "RuvanZip"
global_http_Agent = "NTECH2020"
global_union_id = 26100
global_union_id_x64 = 26100
global_app_id = 161
global_version = "1.0.0.70"
global_product_name = "RuvanZip解压缩"
global_shortcut_name = "RuvanZip解压缩"
global_product_name_inner = "RuvanZip"
global_company_name = "Ruvan Software Example Ltd."
global_legalcopyright = "Copyright (C) 2026 Ruvan Software Example Ltd. All rights reserved."
global_main_app_name = "RuvanZip.exe"
global_main_app_name_inner = "RuvanZip.exe"
global_old_product_name = "RuvanZip"
global_licence_url = "https://www.ruvanzip.example/licence.html"
global_need_disk_space = 347149043
global_main_wnd_cls = "RuvanZipWnd"
global_uninst_sub_key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\RuvanZip"
global_reg_sub_key = "SOFTWARE\\RuvanZip"
global_reg_run_key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\RuvanZip"
global_startup_check_visable = true
global_disable_cover = false
global_cover_unionId = false
global_show_completewindow = true
global_uninstall_useui = true
global_uninstall_no_start_prompt = true
global_create_log_folder = false
global_udp_un_install_port = 8100
global_udp_install_uninstall_url = "stat.ruvanzip.example"
global_install_PostURL = "http://stat.ruvanzip.example/api/InstallStat"
global_Uninstall_PostURL = "http://stat.ruvanzip.example/api/UnInstallStat"
global_Uninstall_Suggesstion_url = "https://www.ruvanzip.example/feedback.html?ruleShow=true"
global_AwardLnk_url = "https://www.ruvanzip.example/feedback.html?ruleShow=true"
global_Uninstall_ReasonURL = "http://feedback.ruvanzip.example/api/v1/feedback/add"
global_kf_QQ = 800000000
global_kf_QQQ = ""
global_startuseexplorer_level = true
global_analyze_unionid_from_commandline = true
global_disable_analyze_params_from_file_name = false
global_enable_ss_install = true
global_kill_process_list = {"RuvanZip.exe", "NuUserCenter.exe", "ffmpeg.exe", "gHelper.exe"}
global_service_name = "RzSvc"
global_service_app_name = "RzSrv.exe"
global_firewall_rule_name = "RuvanZip"
global_firewall_app_name = "RuvanZip.exe"
global_shell_ext_dlls = {"IShellExt.dll"}
global_shell_ext_dlls_wow64 = {"IShellExt64.dll", "shell\\RuvanShell.dll"}
global_assoc_app_args = "sp Asso"
global_unassoc_app_args = "sp unAsso"
global_certificate_file = "http.cer"

-- ZPK Setup configuration, written by `zpkpack init`: plain global assignments, nothing
-- else (no function calls, no reading of other files). The installer runs it before its
-- install script; the uninstaller gets the same chunk.
--
-- Fill in the five values below, then pack:
--   zpkpack --product PRODUCT_FOLDER --config config.lua -o Setup.exe
-- Everything else has a default derived from these five; the optional settings further
-- down show them. Remove the "--" in front of one to change it.

-- The name users see: the window's title, shortcuts, the entry in the list of installed
-- programs ("Hello Notes").
global_product_name = ""
-- A short name without spaces or \ / : * ? " < > |: the registry keys SOFTWARE\<name>, the
-- folder Program Files\<name> and the uninstall entry's key ("HelloNotes").
global_product_name_inner = ""
-- The main program's file name, at the top of the product folder ("Hello.exe").
global_main_app_name = ""
-- The publisher, shown in the list of installed programs and the version information.
global_company_name = ""
-- Four numbers X.Y.Z.W, Y and Z below 100, W below 10000 ("1.0.0.0"); zpkpack --version
-- replaces it.
global_version = ""

-- Optional settings, with their defaults ------------------------------------------------

-- Where it installs and what it records.
-- global_install_basepath = "<inner name>"      -- folder under Program Files
-- global_reg_sub_key = "SOFTWARE\\<inner name>"  -- product key, under HKLM and HKCU
-- global_uninst_sub_key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\<inner name>"
-- global_legalcopyright = ""                     -- copyright in the version information
-- global_need_disk_space = 20048128              -- bytes the window asks for on the volume
-- global_licence_url = nil                       -- licence page the window links to

-- The main program.
-- global_main_app_name_inner = "<main program>"  -- its process name
-- global_main_wnd_cls = ""                       -- its window class: when set, the window
--                                                -- asks to close it before installing
-- global_kill_process_list = {"<main program>"}  -- processes ended before installing and
--                                                -- before removing
-- global_start_parameter = nil                   -- arguments when the window starts it
-- global_startuseexplorer_level = true           -- started with the desktop's rights

-- Shortcuts and older names.
-- global_shortcut_name = "<product name>"
-- global_old_product_name = "<product name>"     -- links of an older version to remove

-- Optional steps: each is skipped (with a line in the install log) while unset.
-- global_firewall_rule_name = "Hello"            -- firewall rules letting the program through
-- global_firewall_app_name = "<main program>"    -- ... for this program
-- global_service_name = "HelloSvc"               -- a service, stopped before installing and
-- global_service_app_name = "HelloSvc.exe"       -- installed by "HelloSvc.exe --install"
-- global_shell_ext_dlls = {"HelloShell.dll"}     -- shell extensions registered (regsvr32)
-- global_shell_ext_dlls_wow64 = {"HelloShell64.dll"}  -- ... by a 32-bit installer on
--                                                -- 64-bit Windows
-- global_assoc_extension = ".hello"              -- file association (or a list of them),
-- global_assoc_progid = "<inner name>.File"      -- under HKCU\Software\Classes, opening
-- global_assoc_verb = "open"                     -- files with the main program
-- global_assoc_app_args = nil                    -- or: the main program associates itself
-- global_unassoc_app_args = nil                  -- when started with these arguments
-- global_certificate_file = "root.cer"           -- imported into the machine's root store
-- global_create_log_folder = false               -- a "log" folder in the installation

-- Silent installs and the window.
-- global_enable_ss_install = true                -- Setup.exe /s installs silently
-- global_default_ss_install = false              -- always silent
-- global_show_completewindow = true              -- the window's completion page
-- global_startup_check_visable = true            -- the start-with-Windows option
-- global_install_mutex_guid = "Global\\{A043B702-166A-4FB8-9733-E2BC4713F36F}<inner name>"

-- Statistics: off while no address is set (nothing is looked up, nothing is sent).
-- global_app_id = 0
-- global_union_id = 0
-- global_udp_install_uninstall_url = nil         -- host of the UDP report receiver
-- global_udp_un_install_port = 8100
-- global_install_PostURL = nil                   -- HTTP address of the install report
-- global_Uninstall_PostURL = nil                 -- ... of the uninstall report
-- global_Uninstall_ReasonURL = nil               -- ... of the uninstall reason
